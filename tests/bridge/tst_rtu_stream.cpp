#include "bridge/rtu_stream.h"
#include "support/test_crc.h"

#include <QStringList>
#include <QTest>

namespace {

// The cuts made from the buffer until it gives nothing more: a frame as its hex, "dropped" or
// "due"; and what stays in the buffer.
QString cuts(QByteArray buffer)
{
    QStringList seen;
    for (;;) {
        const bridge::RtuCut cut = bridge::cutRtuRequest(buffer);
        if (cut.what == bridge::RtuCut::Due)
            break;
        seen << (cut.what == bridge::RtuCut::Frame ? QString::fromLatin1(cut.frame.toHex())
                                                   : QStringLiteral("dropped"));
    }
    seen << QStringLiteral("due ") + QString::fromLatin1(buffer.toHex());
    return seen.join(u' ');
}

} // namespace

class TestRtuStream : public QObject {
    Q_OBJECT

private slots:
    void cuts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("cuts");
        const QByteArray read = testcrc::withCrc(QByteArray::fromHex("01030000001a"));
        const QByteArray write = testcrc::withCrc(QByteArray::fromHex("011000070001020064"));
        const QByteArray other = testcrc::withCrc(QByteArray::fromHex("012b0e0100"));
        QByteArray corrupt = read;
        corrupt[3] = 0x7f;
        QTest::newRow("one read") << read << QString::fromLatin1(read.toHex()) + " due ";
        QTest::newRow("two frames back to back") << read + write
                                                 << QString::fromLatin1(read.toHex()) + ' '
                + QString::fromLatin1(write.toHex()) + " due ";
        QTest::newRow("half a frame")
            << read.first(5) << "due " + QString::fromLatin1(read.first(5).toHex());
        QTest::newRow("a wrong CRC takes what follows")
            << corrupt + read << QStringLiteral("dropped due ");
        QTest::newRow("a function of no known size")
            << other << QString::fromLatin1(other.toHex()) + " due ";
        QTest::newRow("no known size, no CRC yet")
            << other.first(5) << "due " + QString::fromLatin1(other.first(5).toHex());
        QTest::newRow("no known size, too long without a CRC")
            << QByteArray::fromHex("0141") + QByteArray(300, 'x') << QStringLiteral("dropped due ");
    }

    void cuts()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cuts);
        QCOMPARE(::cuts(bytes), cuts);
    }
};

QTEST_APPLESS_MAIN(TestRtuStream)
#include "tst_rtu_stream.moc"
