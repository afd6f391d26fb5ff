#include "rtu/reply.h"
#include "support/test_crc.h"

#include <QTest>

#include <algorithm>

using line::Failure;

Q_DECLARE_METATYPE(line::Failure)

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

} // namespace

// What the operator reads when an answer is wrong, and how statistics count it: the reply as
// the master holds it once it has stopped waiting.
class TestFailure : public QObject {
    Q_OBJECT

private slots:
    void reply_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("said");
        QTest::addColumn<Failure>("failure");

        const QByteArray read = hex("01 03 00 00 00 01");
        const QByteArray toggle = hex("01 06 00 11 00 01");
        QTest::newRow("whole") << read << testcrc::withCrc(hex("01 03 02 04 D2")) << ""
                               << Failure::None;
        QTest::newRow("nothing") << read << QByteArray() << "no reply within 200 ms"
                                 << Failure::NoReply;
        QTest::newRow("half") << read << hex("01 03 02") << "reply too short"
                              << Failure::WrongLength;
        QTest::newRow("exception 03") << toggle << testcrc::withCrc(hex("01 86 03"))
                                      << "exception 03 (illegal data value)" << Failure::Exception;
        QTest::newRow("exception 0B") << toggle << testcrc::withCrc(hex("01 86 0B"))
                                      << "exception 0B (unknown exception)" << Failure::Exception;
        QTest::newRow("another slave")
            << read << hex("02") << "reply from slave 2" << Failure::WrongSlave;
        QTest::newRow("another function")
            << read << hex("01 06") << "reply to another function (06)" << Failure::WrongFunction;
        QTest::newRow("bad CRC") << read << hex("01 03 02 04 D2 00 00") << "bad CRC"
                                 << Failure::BadCrc;
        QTest::newRow("too long") << read << testcrc::withCrc(hex("01 03 02 04 D2")) + '\0'
                                  << "reply too long" << Failure::WrongLength;
        QTest::newRow("another byte count")
            << read << hex("01 03 04") << "reply with a wrong byte count" << Failure::WrongLength;
        QTest::newRow("an echo of another value")
            << toggle << testcrc::withCrc(hex("01 06 00 11 00 00"))
            << "reply does not echo the request" << Failure::WrongEcho;
        QTest::newRow("an echo of another register")
            << toggle << testcrc::withCrc(hex("01 06 00 12 00 01"))
            << "reply does not echo the request" << Failure::WrongEcho;
    }

    void reply()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, said);
        QFETCH(Failure, failure);
        const QByteArray framed = testcrc::withCrc(request);
        const line::ReplyProgress progress = line::replyProgress(framed, reply);
        QCOMPARE(line::failureOf(progress, reply.size()), failure);
        QCOMPARE(line::replyFailureText(failure, progress, reply, 200), said);
    }

    // Scripts read these names; each kind has its own, and every failure is in the table,
    // those a request can meet first.
    void namesAreDistinct()
    {
        QStringList names;
        for (const line::FailureKind& kind : line::kFailureKinds) {
            QVERIFY(!names.contains(QLatin1String(kind.jsonName)));
            names << QLatin1String(kind.jsonName);
            QCOMPARE(&line::failureKind(kind.failure), &kind);
        }
        QCOMPARE(names.size(), int(Failure::BadRequest));
        QCOMPARE(line::kFailureKinds[line::kRequestFailureCount - 1].failure, Failure::Lost);
        QCOMPARE(names.mid(0, 8),
            QStringList({ "no_reply", "bad_crc", "exception", "wrong_slave", "wrong_function",
                "wrong_length", "wrong_echo", "port" }));
    }

    // Whose failure each kind is: the line's ends a call with exit 3, and a bridge's reads
    // until the line is open again; a stop and a refused call are neither the line's nor a
    // module's.
    void lineFailures_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<bool>("line");
        const QStringList lines { "port", "missing", "busy", "denied", "unreachable", "refused",
            "unusable" };
        for (const line::FailureKind& kind : line::kFailureKinds)
            QTest::newRow(kind.jsonName)
                << kind.failure << lines.contains(QLatin1String(kind.jsonName));
    }

    void lineFailures()
    {
        QFETCH(Failure, failure);
        QTEST(line::isLineFailure(failure), "line");
    }

    // A refused call is counted by no statistics and said in the words it was refused with.
    void badRequest()
    {
        QCOMPARE(QLatin1String(line::failureKind(Failure::BadRequest).jsonName),
            QLatin1String("bad_request"));
        QVERIFY(std::ranges::none_of(line::kFailureKinds.begin(),
            line::kFailureKinds.begin() + line::kRequestFailureCount,
            [](const line::FailureKind& k) { return k.failure == Failure::BadRequest; }));
        QCOMPARE(line::failureText(Failure::BadRequest, QStringLiteral("read takes no arguments")),
            QStringLiteral("read takes no arguments"));
    }
};

QTEST_GUILESS_MAIN(TestFailure)
#include "tst_failure.moc"
