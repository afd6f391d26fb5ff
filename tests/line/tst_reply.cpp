#include "rtu/reply.h"

#include "support/test_crc.h"

#include <QTest>

#include <span>

using line::Failure;
using line::ReplyState;

Q_DECLARE_METATYPE(line::ReplyState)
Q_DECLARE_METATYPE(line::Failure)

namespace {

// Who judges the reply before it is read: the command line's master, the window at its tick,
// or a master that a stop signal ended with the bytes in.
enum class Judge { Master, Window, Stopped };

} // namespace

Q_DECLARE_METATYPE(Judge)

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

// The view of what arrived, after the judge's judgement of it.
line::ReplyView viewBy(Judge judge, const QByteArray& request, const QByteArray& received)
{
    switch (judge) {
    case Judge::Master:
        return line::replyView(
            line::failureOf(line::replyProgress(request, received), received.size()), received);
    case Judge::Window:
        return line::replyView(line::judgeReply(request, received, received.size()), received);
    case Judge::Stopped:
        break;
    }
    return line::replyView(Failure::Interrupted, received);
}

QByteArray bytesOf(std::span<const std::uint8_t> bytes)
{
    return { reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()) };
}

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

    // What a judged reply hands its readers: register bytes only from a sound read whose byte
    // count is its length, an exception code only from an exception, and the byte count a read
    // announces only while its header is right.
    void view_data()
    {
        QTest::addColumn<Judge>("judge");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<QByteArray>("registerBytes");
        QTest::addColumn<int>("announcedBytes");

        const auto row = [](const QByteArray& name, Judge judge, const QByteArray& request,
                             const QByteArray& received, Failure failure, int code,
                             const QByteArray& registers, int announced) {
            QTest::newRow(name.constData())
                << judge << request << received << failure << code << registers << announced;
        };
        const QByteArray readAllRegisters = kReadAllReply.mid(3, 52);
        const QByteArray readOne = testcrc::withCrc(hex("01 03 00 00 00 01"));
        const QByteArray oneRegister = hex("01 03 02 04 D2 3A D9");
        // A 57-byte read reply that announces 25 registers, its CRC right.
        QByteArray wrongCount = kReadAllReply.first(55);
        wrongCount[2] = 0x32;
        wrongCount = testcrc::withCrc(wrongCount);
        // An 8-byte read reply of three bytes: a length the window takes, half a register.
        const QByteArray oddCount = testcrc::withCrc(hex("01 03 03 04 D2 00"));
        QByteArray flipped = kReadAllReply;
        flipped[20] = static_cast<char>(flipped[20] ^ 0x10);

        for (const Judge judge : { Judge::Master, Judge::Window }) {
            const bool master = judge == Judge::Master;
            const auto name = [master](const char* what) {
                return QByteArray(master ? "master, " : "window, ").append(what);
            };
            row(name("read all"), judge, kReadAll, kReadAllReply, Failure::None, 0,
                readAllRegisters, 52);
            row(name("toggle echo"), judge, kToggle, kToggle, Failure::None, 0, {}, 0);
            row(name("write all answer"), judge, kWriteAll, hex("01 10 00 01 00 18 91 C3"),
                Failure::None, 0, {}, 0);
            row(name("nothing"), judge, kReadAll, {}, Failure::NoReply, 0, {}, 0);
            row(name("one byte"), judge, kReadAll, hex("01"), Failure::WrongLength, 0, {}, 0);
            row(name("read all, one byte short"), judge, kReadAll, kReadAllReply.first(56),
                Failure::WrongLength, 0, {}, 52);
            row(name("read all from slave 2"), judge, kReadAll,
                testcrc::withCrc(hex("02") + kReadAllReply.mid(1, 54)), Failure::WrongSlave, 0, {},
                0);
        }
        row("master, read of one register", Judge::Master, readOne, oneRegister, Failure::None, 0,
            hex("04 D2"), 2);
        row("window, read of one register", Judge::Window, readOne, oneRegister, Failure::None, 0,
            hex("04 D2"), 2);
        row("master, exception 02", Judge::Master, kReadAll, hex("01 83 02 C0 F1"),
            Failure::Exception, 2, {}, 0);
        row("master, exception 03 to a toggle", Judge::Master, kToggle, hex("01 86 03 02 61"),
            Failure::Exception, 3, {}, 0);
        // The window has no exceptions: 5 bytes is no length it takes.
        row("window, exception 02", Judge::Window, kReadAll, hex("01 83 02 C0 F1"),
            Failure::WrongLength, 0, {}, 0);
        row("master, exception with trailing bytes", Judge::Master, kReadAll,
            hex("01 83 02 C0 F1 00"), Failure::WrongLength, 0, {}, 0);
        row("master, a read announcing 25 registers", Judge::Master, kReadAll, wrongCount,
            Failure::WrongLength, 0, {}, 50);
        // Whole and sound in itself, yet not the reply the request asked for.
        row("master, 25 registers to a read of 26", Judge::Master, kReadAll,
            testcrc::withCrc(wrongCount.first(53)), Failure::WrongLength, 0, {}, 50);
        row("window, 2 registers, a length it does not take", Judge::Window, readOne,
            testcrc::withCrc(hex("01 03 04 04 D2 00 32")), Failure::WrongLength, 0, {}, 4);
        // The window never looks at a read's byte count: it takes the reply, and the registers
        // stay unread, as the decoder always left them.
        row("window, a read announcing 25 registers", Judge::Window, kReadAll, wrongCount,
            Failure::None, 0, {}, 50);
        row("window, half a register", Judge::Window, readOne, oddCount, Failure::None, 0, {}, 3);
        row("master, read all, a bit flipped", Judge::Master, kReadAll, flipped, Failure::BadCrc, 0,
            {}, 0);
        row("master, an echo of another value", Judge::Master, kToggle,
            hex("01 06 00 11 00 00 D9 CF"), Failure::WrongEcho, 0, {}, 0);
        row("master, another function", Judge::Master, kReadAll,
            testcrc::withCrc(hex("01 04 02 00 00")), Failure::WrongFunction, 0, {}, 0);
        // Whatever arrived, an answer that was not judged sound hands out nothing.
        row("stopped, read all whole", Judge::Stopped, kReadAll, kReadAllReply,
            Failure::Interrupted, 0, {}, 0);
        row("stopped, exception", Judge::Stopped, kReadAll, hex("01 83 02 C0 F1"),
            Failure::Interrupted, 0, {}, 0);
    }

    void view()
    {
        QFETCH(Judge, judge);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, received);
        QFETCH(Failure, failure);
        QFETCH(int, exceptionCode);
        QFETCH(QByteArray, registerBytes);
        QFETCH(int, announcedBytes);
        const line::ReplyView view = viewBy(judge, request, received);
        QCOMPARE(view.failure, failure);
        QCOMPARE(int(view.exceptionCode), exceptionCode);
        QCOMPARE(bytesOf(view.registerBytes), registerBytes);
        QCOMPARE(int(view.announcedBytes), announcedBytes);
        // The registers are the reply's own bytes, not a copy that could outlive it wrongly.
        if (!view.registerBytes.empty())
            QCOMPARE(
                reinterpret_cast<const char*>(view.registerBytes.data()), received.constData() + 3);
    }
};

QTEST_APPLESS_MAIN(TestReply)
#include "tst_reply.moc"
