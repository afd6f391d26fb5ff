#include "ports/settings_file.h"

#include "planted_file.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace line;
using testsupport::Planted;

// A settings file that is no regular file: neither read (a FIFO would block the start) nor
// replaced (a device node or a planted link's target would be overwritten).
class TestSettingsKinds : public QObject {
    Q_OBJECT

private slots:
    void neitherReadNorReplaced_data()
    {
        QTest::addColumn<Planted>("planted");
        QTest::addColumn<QString>("what"); // as the notes name it; %1 is the path

        QTest::newRow("FIFO") << Planted::Fifo << "is a FIFO";
        QTest::newRow("device node") << Planted::NullDevice << "is a character device";
        QTest::newRow("link to a device node")
            << Planted::LinkToNullDevice << "links to %1.node, which is a character device";
        QTest::newRow("dangling link")
            << Planted::DanglingLink << "links to %1.gone, which is missing";
        QTest::newRow("folder") << Planted::Folder << "is a folder";
    }

    void neitherReadNorReplaced()
    {
        QFETCH(Planted, planted);
        QFETCH(QString, what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("com.txt"));
        if (!testsupport::plant(planted, path))
            QSKIP("this machine makes no such file here (a device node needs root)");
        const QString kind = what.arg(path) + QStringLiteral(", not a regular file");

        const LoadedPort loaded = loadStoredPort(path);
        QCOMPARE(loaded.stored, StoredPort {});
        QCOMPARE(loaded.fileNote, path + u' ' + kind + QStringLiteral("; it is not read"));

        QString error;
        QVERIFY(!storeStoredPort(path, 5, QStringLiteral("115200"), &error));
        QCOMPARE(error, QStringLiteral("it ") + kind + QStringLiteral("; it is left as it is"));
        const QFileInfo after(path);
        QVERIFY(!after.isFile() || after.isSymLink());
        QVERIFY(!QFileInfo::exists(path + QStringLiteral(".gone")));
    }

    // A link to a regular file keeps working as a settings file, and stays a link.
    void linkToARegularFileIsFollowed()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("kept.txt"));
        const QString path = dir.filePath(QStringLiteral("com.txt"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("3\r\n19200\r\n");
        file.close();
        QVERIFY(QFile::link(target, path));

        QCOMPARE(loadStoredPort(path).stored, (StoredPort { 3, QStringLiteral("19200") }));
        QVERIFY(storeStoredPort(path, 5, QStringLiteral("115200"), nullptr));
        QVERIFY(QFileInfo(path).isSymLink());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("5\r\n115200\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsKinds)
#include "tst_settings_kinds.moc"
