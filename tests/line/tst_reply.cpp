#include "rtu/reply.h"

#include <QTest>

using line::ReplyState;

Q_DECLARE_METATYPE(line::ReplyState)

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

const QByteArray kReadAll = hex("01 03 00 00 00 1A C4 01");
// The module's reply to kReadAll: its 26 registers, 57 bytes with the CRC.
const QByteArray kReadAllReply
    = hex("01 03 34 04 D2 00 32 00 00 03 E8 00 02 49 F0 00 00 03 E8 00 00 03 E8 00 00 03 E8 01 F4 "
          "01 F4 01 F4 01 F4 01 F4 00 01 00 00 00 00 00 00 00 00 00 01 00 00 00 01 00 00 1B F4");
const QByteArray kToggle = hex("01 06 00 11 00 01 18 0F");
const QByteArray kWriteAll = hex("01 10 00 01 00 18 30"); // the data does not matter here

} // namespace

// Replies growing byte by byte towards what a request asks for: when a master may stop waiting,
// and why a reply can never become good.
class TestReply : public QObject {
    Q_OBJECT

private slots:
    void progress_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<ReplyState>("state");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("exceptionCode");

        QByteArray corrupted = kReadAllReply;
        corrupted[20] = static_cast<char>(corrupted[20] ^ 0x10);
        const auto row = [](const char* name, const QByteArray& request, const QByteArray& received,
                             ReplyState state, int size, int code = 0) {
            QTest::newRow(name) << request << received << state << size << code;
        };
        row("read all, nothing yet", kReadAll, {}, ReplyState::Incomplete, 57);
        row("read all, one byte short", kReadAll, kReadAllReply.first(56), ReplyState::Incomplete,
            57);
        row("read all, whole", kReadAll, kReadAllReply, ReplyState::Complete, 57);
        row("read all, one byte extra", kReadAll, kReadAllReply + '\0', ReplyState::TooLong, 57);
        row("read all, a bit flipped", kReadAll, corrupted, ReplyState::BadCrc, 57);
        row("read all, another slave", kReadAll, hex("02"), ReplyState::WrongAddress, 57);
        row("read all, another function", kReadAll, hex("01 04"), ReplyState::WrongFunction, 57);
        row("read all, 25 registers announced", kReadAll, hex("01 03 32"),
            ReplyState::WrongByteCount, 57);
        row("read of one register, without its CRC", hex("01 03 00 00 00 01"),
            hex("01 03 02 04 D2 3A D9"), ReplyState::Complete, 7);
        row("toggle, echo", kToggle, kToggle, ReplyState::Complete, 8);
        row("toggle, echo from slave 2", kToggle, hex("02 06 00 11 00 01 18 3C"),
            ReplyState::WrongAddress, 8);
        row("write all, answer", kWriteAll, hex("01 10 00 01 00 18 91 C3"), ReplyState::Complete,
            8);
        row("toggle, an echo of another value", kToggle, hex("01 06 00 11 00 00 D9 CF"),
            ReplyState::WrongEcho, 8);
        row("write all, an answer with another count", kWriteAll, hex("01 10 00 01 00 17 D1 C7"),
            ReplyState::WrongEcho, 8);
        row("exception 02", kReadAll, hex("01 83 02 C0 F1"), ReplyState::Exception, 57, 2);
        row("exception 03, CRC not yet in", kToggle, hex("01 86 03"), ReplyState::Incomplete, 8);
        row("exception 03, whole", kToggle, hex("01 86 03 02 61"), ReplyState::Exception, 8, 3);
        row("exception with a bad CRC", kToggle, hex("01 86 03 02 62"), ReplyState::BadCrc, 8);
        row("exception of another function", kToggle, hex("01 90 04 4D C3"),
            ReplyState::WrongFunction, 8);
        row("a request of no known function", hex("01 2B 0E 01 00 70 77"), hex("01 2B"),
            ReplyState::WrongFunction, 0);
    }

    void progress()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, received);
        QFETCH(ReplyState, state);
        QFETCH(int, size);
        QFETCH(int, exceptionCode);
        const line::ReplyProgress progress = line::replyProgress(request, received);
        QCOMPARE(progress.state, state);
        QCOMPARE(progress.size, size);
        QCOMPARE(int(progress.exceptionCode), exceptionCode);
    }
};

QTEST_APPLESS_MAIN(TestReply)
#include "tst_reply.moc"
