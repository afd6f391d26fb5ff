#include "cli/console.h"

#include "rtu/reply.h"
#include "support/test_crc.h"

#include <QTest>

#include <vector>

using line::Failure;

namespace {

// An answer as the master concludes it, judged by the one reply parser.
line::Answer judged(const char* request, const QByteArray& reply)
{
    line::Answer answer;
    answer.request = testcrc::withCrc(QByteArray::fromHex(request));
    answer.reply = reply;
    answer.progress = line::replyProgress(answer.request, answer.reply);
    answer.failure = line::failureOf(answer.progress, answer.reply.size());
    answer.error = line::replyFailureText(answer.failure, answer.progress, answer.reply, 200);
    return answer;
}

line::Answer failedWith(Failure failure, const QString& error)
{
    line::Answer answer;
    answer.failure = failure;
    answer.error = error;
    return answer;
}

const char* const kRead = "01 03 00 00 00 1a";

struct Row {
    const char* tag;
    cli::Report report;
    bool json; // --json given
    const char* out; // stdout, without its line end
    const char* err;
    int exitCode;
};

// Every way pwm5ctl says a failure, as scripts read it (docs/scripts.md).
std::vector<Row> rows()
{
    using cli::Report;
    const line::Answer silent = judged(kRead, {});
    const line::Answer exception
        = judged("01 06 00 11 00 01", testcrc::withCrc(QByteArray::fromHex("01 86 03")));
    const line::Answer lost
        = failedWith(Failure::Lost, QStringLiteral("/tmp/line: the device is gone (it hung up)"));
    const line::Answer stopped = failedWith(Failure::Interrupted, QStringLiteral("interrupted"));
    const Report::Module one { 1, false };
    const Report::Module third { 3, true };
    return {
        { "a module's write, one module", Report::ofAnswer(silent, "ch1.duty", one), true,
            R"j({"address":1,"error":"no reply within 200 ms","failure":"no_reply","ok":false})j",
            "ch1.duty: no reply within 200 ms", 1 },
        { "a module's write, without --json", Report::ofAnswer(silent, "ch1.duty", one), false, "",
            "ch1.duty: no reply within 200 ms", 1 },
        { "a module's exception, several modules", Report::ofAnswer(exception, "ch1.output", third),
            true,
            R"j({"address":3,"error":"exception 03 (illegal data value)","exception_code":3,)j"
            R"j("failure":"exception","ok":false})j",
            "module 3: ch1.output: exception 03 (illegal data value)", 1 },
        { "a module's read, several modules", Report::ofAnswer(silent, {}, third), false, "",
            "module 3: no reply within 200 ms", 1 },
        { "a line lost under a module", Report::ofAnswer(lost, "ch1.duty", third), true,
            R"j({"address":3,"error":"/tmp/line: the device is gone (it hung up)","failure":"port",)j"
            R"j("ok":false})j",
            "/tmp/line: the device is gone (it hung up)", 3 },
        { "a module's request stopped", Report::ofAnswer(stopped, "ch1.duty", one), true, "",
            "interrupted", 1 },
        { "an answer that is no module's", Report::ofAnswer(silent, "no answer at 19200 baud"),
            true,
            R"j({"error":"no answer at 19200 baud: no reply within 200 ms","failure":"no_reply",)j"
            R"j("ok":false})j",
            "no answer at 19200 baud: no reply within 200 ms", 1 },
        { "an exception that is no module's", Report::ofAnswer(exception), true,
            R"j({"error":"exception 03 (illegal data value)","failure":"exception","ok":false})j",
            "exception 03 (illegal data value)", 1 },
        { "a line lost under a scan", Report::ofAnswer(lost, "scan"), true,
            R"j({"error":"/tmp/line: the device is gone (it hung up)","failure":"port","ok":false})j",
            "/tmp/line: the device is gone (it hung up)", 3 },
        { "a missing device",
            Report::ofLine("/dev/ttyUSB9", { Failure::Missing, "no such device" }), true,
            R"j({"error":"/dev/ttyUSB9: no such device","failure":"missing","ok":false})j",
            "/dev/ttyUSB9: no such device", 3 },
        { "a server out of reach",
            Report::ofLine("127.0.0.1:4001", { Failure::Unreachable, "connection refused" }), true,
            R"j({"error":"127.0.0.1:4001: connection refused","failure":"unreachable","ok":false})j",
            "127.0.0.1:4001: connection refused", 3 },
        { "a refused call", Report::refused("read takes no arguments"), true,
            R"j({"error":"read takes no arguments","failure":"bad_request","ok":false})j",
            "read takes no arguments", 2 },
        { "a refused call, without --json", Report::refused("read takes no arguments"), false, "",
            "read takes no arguments", 2 },
        { "a failure with no kind", Report::plain(1, "no module found (3 probes in 0.1 s)"), true,
            "", "no module found (3 probes in 0.1 s)", 1 },
        { "adopt stopped", Report(Failure::Interrupted, "terminated"), true,
            R"j({"error":"terminated","failure":"interrupted","ok":false})j", "terminated", 1 },
    };
}

} // namespace

// One failure, one value: the terminal line, the JSON line and the exit status all come from it.
class TestReport : public QObject {
    Q_OBJECT

private slots:
    void said_data()
    {
        QTest::addColumn<int>("row");
        const std::vector<Row> table = rows();
        for (std::size_t i = 0; i < table.size(); ++i)
            QTest::newRow(table[i].tag) << static_cast<int>(i);
    }

    void said()
    {
        QFETCH(int, row);
        const Row r = rows().at(static_cast<std::size_t>(row));
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        cli::Console console { outStream, errStream, r.json };
        QCOMPARE(console.say(r.report), r.exitCode);
        outStream.flush();
        errStream.flush();
        QCOMPARE(out, *r.out ? QString::fromUtf8(r.out) + u'\n' : QString());
        QCOMPARE(err, QStringLiteral("pwm5ctl: ") + QString::fromUtf8(r.err) + u'\n');
    }

    // The bridge publishes a refused command message as its result: the same object.
    void bridgeResult()
    {
        const QJsonObject result
            = cli::Report::refused(QStringLiteral("the message sets no parameter")).json();
        QCOMPARE(QJsonDocument(result).toJson(QJsonDocument::Compact),
            QByteArray(R"j({"error":"the message sets no parameter","failure":"bad_request",)j"
                       R"j("ok":false})j"));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
