#include "ports/settings_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace line;

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("notes"); // what could not be used, port then baud
        QTest::newRow("CR LF") << QByteArray("3\r\n19200\r\n") << 3 << "19200"
                               << "";
        QTest::newRow("LF") << QByteArray("5\n115200\n") << 5 << "115200"
                            << "";
        QTest::newRow("no final line end") << QByteArray("2\r\n4800") << 2 << "4800"
                                           << "";
        QTest::newRow("third line ignored") << QByteArray("4\r\n38400\r\nextra\r\n") << 4 << "38400"
                                            << "";
        QTest::newRow("no port") << QByteArray("0\r\n9600\r\n") << 0 << "9600"
                                 << "";
        QTest::newRow("empty file") << QByteArray() << 1 << "9600"
                                    << "";
        QTest::newRow("one line") << QByteArray("7\r\n") << 7 << "9600"
                                  << "";
        QTest::newRow("empty baud line") << QByteArray("3\r\n\r\n") << 3 << "9600"
                                         << "";
        QTest::newRow("typed baud kept") << QByteArray("3\r\n1200\r\n") << 3 << "1200"
                                         << "";
        QTest::newRow("port 12 is no list entry") << QByteArray("12\r\n9600\r\n") << 1 << "9600"
                                                  << "port \"12\" is not 0 to 9; using COM1";
        QTest::newRow("port not a number") << QByteArray("COM3\r\n9600\r\n") << 1 << "9600"
                                           << "port \"COM3\" is not 0 to 9; using COM1";
        QTest::newRow("words") << QByteArray("hello\nworld") << 1 << "9600"
                               << "port \"hello\" is not 0 to 9; using COM1 | "
                                  "baud rate \"world\" is not a rate; using 9600";
        QTest::newRow("baud with a blank") << QByteArray("3\r\n9600 \r\n") << 3 << "9600"
                                           << "baud rate \"9600 \" is not a rate; using 9600";
        QTest::newRow("binary junk") << QByteArray("\x01\xff\x00\n\x80\x1b[2J", 9) << 1 << "9600"
                                     << "port \"\\x01\\xff\\x00\" is not 0 to 9; using COM1 | "
                                        "baud rate \"\\x80\\x1b[2J\" is not a rate; using 9600";
        QTest::newRow("10 MB line")
            << QByteArray(10 << 20, '9') << 1 << "9600"
            << "port \"" + QString(40, u'9') + "…\" is not 0 to 9; using COM1";
    }

    void parse()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, port);
        QFETCH(QString, baud);
        QFETCH(QString, notes);
        const LoadedPort loaded = parseStoredPort(content);
        QCOMPARE(loaded.stored, (StoredPort { port, baud }));
        QStringList said { loaded.portNote, loaded.baudNote };
        said.removeAll(QString());
        QCOMPARE(said.join(QStringLiteral(" | ")), notes);
        QVERIFY(loaded.fileNote.isEmpty());
    }

    void storeWritesExactlyTwoLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("com.txt"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("3\r\n19200\r\nthird line\r\n");
        old.close();

        QVERIFY(storeStoredPort(path, 5, QStringLiteral("115200"), nullptr));
        QFile stored(path);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QByteArray("5\r\n115200\r\n"));
        QCOMPARE(loadStoredPort(path).stored, (StoredPort { 5, QStringLiteral("115200") }));
    }

    void storeCreatesAMissingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("com.txt"));
        QVERIFY(storeStoredPort(path, 0, QStringLiteral("9600"), nullptr));
        QCOMPARE(loadStoredPort(path).stored, (StoredPort { 0, QStringLiteral("9600") }));
    }

    void failedStoreLeavesTheOldFileWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("com.txt"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("3\r\n19200\r\n");
        old.close();
        // A folder that cannot take the temporary file: the store fails as a whole.
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        QString error;
        const bool stored = storeStoredPort(path, 5, QStringLiteral("115200"), &error);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (stored)
            QSKIP("running as root: a read-only folder does not stop the store");
        QVERIFY(!error.isEmpty());
        QCOMPARE(loadStoredPort(path).stored, (StoredPort { 3, QStringLiteral("19200") }));
    }

    // A folder that refuses new files even to root: the store fails and the old file stays.
    void folderThatRefusesWritesLeavesTheFileWhole()
    {
        QFile version(QStringLiteral("/proc/version"));
        if (!version.open(QIODevice::ReadOnly))
            QSKIP("no /proc here");
        const QByteArray before = version.readAll();
        version.close();
        QString error;
        QVERIFY(!storeStoredPort(QStringLiteral("/proc/version"), 5, "115200", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(version.open(QIODevice::ReadOnly));
        QCOMPARE(version.readAll(), before);
        QVERIFY(!storeStoredPort(QStringLiteral("/proc/com.txt"), 5, "115200", &error));
    }

    void unreadableFileGivesTheDefaults()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("com.txt")));
        QCOMPARE(loadStoredPort(dir.filePath(QStringLiteral("com.txt"))).stored, StoredPort {});
        QCOMPARE(loadStoredPort(dir.filePath(QStringLiteral("absent.txt"))).stored, StoredPort {});
        QString error;
        QVERIFY(!storeStoredPort(dir.filePath(QStringLiteral("com.txt")), 1, "9600", &error));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settings_file.moc"
