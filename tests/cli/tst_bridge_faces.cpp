#include "support/local_ports.h"
#include "support/mbap_client.h"
#include "support/mqtt_broker.h"
#include "support/mqtt_probe.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// pwm5ctl bridge's TCP faces as clients that nobody here wrote use them: Debian's mbpoll on
// Modbus TCP, pwm5ctl itself on RTU over TCP, and raw sockets of the test's own that pipeline,
// crowd and misbehave. The bus simulator plays modules 1 and 2; the bridge serves 1, 2 and 5,
// which is not there; 9 is on no list.

namespace {

constexpr int kWaitMs = 30000;
const QString kHost = QStringLiteral("127.0.0.1");
const QString kPrefix = QStringLiteral("test/faces");

// The registers as the simulator starts them, and the ones the tests write.
constexpr quint16 kSupply = 1234; // register 0x0000 read: the supply voltage in 0.01 V
constexpr quint16 kCh1Duty = 0x000C; // tenths of a percent
constexpr quint16 kCh2Duty = 0x000D;
constexpr int kRegisters = 26;

// The poll's read of a module, as the simulator logs its request.
QString pollOf(int unit)
{
    return QStringLiteral("%1 03 00 00 00 1A").arg(unit, 2, 10, QLatin1Char('0'));
}

// What a program of the test printed, both channels together, and how it ended.
struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun mbpoll(quint16 port, int unit, int first, int count, const QStringList& values)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Once, registers numbered from 0 as on the wire, 5 s for an answer; a write takes as many
    // registers as it has values.
    QStringList args { "-m", "tcp", "-p", QString::number(port), "-0", "-1", "-o", "5", "-a",
        QString::number(unit), "-r", QString::number(first) };
    if (values.isEmpty())
        args << "-c" << QString::number(count);
    process.start(QStringLiteral(PWM5_MBPOLL), args << kHost << values);
    if (!process.waitForFinished(kWaitMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAll()) };
}

// The simulator with modules 1 and 2 linked as COM1, and the bridge serving modules 1, 2 and 5
// on both faces.
struct Plant {
    QTemporaryDir dir;
    SimProcess sim;
    std::unique_ptr<RunningPwm5ctl> bridge;
    quint16 tcpPort = 0;
    quint16 rtuPort = 0;

    // Empty when both are up, else what went wrong.
    QString start(const QStringList& options = {})
    {
        if (!sim.start(dir.path(), { "--address", "1-2" }))
            return QStringLiteral("simulator: ") + sim.output();
        // A port found free may be taken by another program's connection before the bridge
        // listens on it: then the bridge tries others.
        QString why;
        for (int attempt = 0; attempt < 3; ++attempt) {
            why = startBridge(options);
            if (!why.contains(QLatin1String("already in use")))
                break;
        }
        return why;
    }

    QString startBridge(const QStringList& options)
    {
        tcpPort = freeLocalPort();
        do
            rtuPort = freeLocalPort();
        while (rtuPort == tcpPort);
        bridge = std::make_unique<RunningPwm5ctl>();
        bridge->start(dir.path(),
            QStringList { "-p", dir.filePath("COM1"), "-a", "1,2,5", "-t", "1000", "--interval",
                "100", "bridge", "--modbus-tcp", face(tcpPort), "--rtu-tcp", face(rtuPort) }
                + options);
        // The faces listen before the line's owner starts; once it has module 1's answer it
        // also knows the baud rate that a write must keep.
        if (!bridge->waitForLine(QProcess::StandardError, "recv: 01 03 34 ", kWaitMs))
            return QStringLiteral("bridge: ") + bridge->finish(kWaitMs).error;
        return {};
    }

    static QString face(quint16 port) { return QStringLiteral("%1:%2").arg(kHost).arg(port); }
    // pwm5ctl's line through the RTU face. Behind the bridge a request may wait for one poll of
    // module 5, which never answers, for the whole of the bridge's 1 s: a loaded machine's late
    // reply is no missing module.
    QStringList rtuClient() const
    {
        return { "-p", QStringLiteral("tcp:%1:%2").arg(kHost).arg(rtuPort), "-t", "3000" };
    }

    // The writes (function 0x06 or 0x10) that reached the line, to any module.
    int writes()
    {
        static const QRegularExpression write(QStringLiteral("  [0-9A-F]{2} (06|10) .*  ->  "));
        return static_cast<int>(sim.output().count(write));
    }

    // Waits until module 1 has been polled twice more: whatever the bridge had for the line
    // before has reached it, since a write goes before the next poll.
    bool lineSettled()
    {
        const qsizetype polls = sim.output().count(pollOf(1));
        return sim.waitUntil(
            [&](const QString& out) { return out.count(pollOf(1)) >= polls + 2; }, kWaitMs);
    }

    // Ends the bridge as a service manager does; its stderr lines, or why it did not end well.
    std::optional<QStringList> stop()
    {
        bridge->process().terminate();
        const Run run = bridge->finish(kWaitMs);
        if (run.exitCode != 0)
            return std::nullopt;
        return run.error.split(u'\n', Qt::SkipEmptyParts);
    }
};

qsizetype refusalNotes(const QStringList& lines)
{
    return lines.filter(QStringLiteral("refused a write to module")).size();
}

} // namespace

class TestBridgeFaces : public QObject {
    Q_OBJECT

private slots:
    // mbpoll on the Modbus TCP face: what the module answers comes back; what the bridge
    // refuses is refused with the exception a client understands, and leaves nothing on the
    // line.
    void mbpollClient_data()
    {
        QTest::addColumn<QStringList>("options"); // the bridge's
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("values"); // none: a read
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // a regular expression over mbpoll's lines
        QTest::addColumn<int>("notes"); // the bridge's lines on a refused moving write
        QTest::addColumn<int>("writes"); // on the line
        const QStringList none;
        QTest::newRow("a read of 26 registers")
            << none << 1 << 0 << kRegisters << none << 0
            << QStringLiteral(R"(^\[0\]:\s+%1$(.|\n)*^\[24\]:\s+1$)").arg(kSupply) << 0 << 0;
        QTest::newRow("a write") << none << 2 << int(kCh2Duty) << 1 << QStringList { "300" } << 0
                                 << "^Written 1 references" << 0 << 1;
        QTest::newRow("a block that keeps the baud rate")
            << none << 1 << 0x16 << 3 << QStringList { "2", "0", "1" } << 0
            << "^Written 3 references" << 0 << 1;
        QTest::newRow("a unit on no list")
            << none << 9 << 0 << 1 << none << 1 << "Gateway path unavailable$" << 0 << 0;
        QTest::newRow("a module that does not answer")
            << none << 5 << 0 << 1 << none << 1 << "Target device failed to respond$" << 0 << 0;
        QTest::newRow("--read-only") << QStringList { "--read-only" } << 1 << int(kCh1Duty) << 1
                                     << QStringList { "300" } << 1 << "Illegal function$" << 0 << 0;
        QTest::newRow("register 0x0000, the address")
            << none << 1 << 0 << 1 << QStringList { "7" } << 1 << "Illegal data value$" << 1 << 0;
        QTest::newRow("the code of another baud rate")
            << none << 1 << 0x18 << 1 << QStringList { "3" } << 1 << "Illegal data value$" << 1
            << 0;
        QTest::newRow("another baud rate in a block")
            << none << 1 << 0x16 << 3 << QStringList { "2", "0", "3" } << 1 << "Illegal data value$"
            << 1 << 0;
    }

    void mbpollClient()
    {
        QFETCH(QStringList, options);
        QFETCH(int, unit);
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(QStringList, values);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(int, notes);
        QFETCH(int, writes);
        if (!QFile::exists(QStringLiteral(PWM5_MBPOLL)))
            QSKIP("mbpoll is not installed");
        Plant plant;
        QCOMPARE(plant.start(options), QString());

        const ToolRun run = mbpoll(plant.tcpPort, unit, first, count, values);

        QVERIFY2(run.exitCode == exitCode, qPrintable(run.output));
        const QRegularExpression pattern(said, QRegularExpression::MultilineOption);
        QVERIFY2(pattern.match(run.output).hasMatch(), qPrintable(run.output));
        if (values.isEmpty() && exitCode == 0)
            QCOMPARE(run.output.count(
                         QRegularExpression(R"(^\[\d+\]:)", QRegularExpression::MultilineOption)),
                count);
        QVERIFY(plant.lineSettled());
        QCOMPARE(plant.writes(), writes);
        const auto lines = plant.stop();
        QVERIFY(lines);
        QCOMPARE(refusalNotes(*lines), qsizetype(notes));
    }

    // pwm5ctl through the RTU face as through a device server: its commands pass; those that
    // would move the module off the line fail, and the module stays where it was.
    void pwm5ctlThroughTheRtuFace_data()
    {
        QTest::addColumn<QStringList>("args"); // %1: a file holding the text below
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // a regular expression over stdout
        QTest::addColumn<int>("notes");
        QTest::addColumn<int>("writes");
        const QByteArray none;
        QTest::newRow("read") << QStringList { "-a", "2", "read" } << none << 0
                              << R"(address +2\nbaud_rate +9600\nsupply_voltage +12.34 V\n(.|\n)*)"
                              << 0 << 0;
        QTest::newRow("set") << QStringList { "-a", "2", "set", "ch2.duty=40" } << none << 0
                             << "ch2.duty +40.0 %" << 0 << 1;
        QTest::newRow("apply") << QStringList { "-a", "1", "apply", "%1" }
                               << QByteArray(R"({"ch3.duty": 12.5})") << 0
                               << "ch3.duty +50.0 % -> 12.5 %" << 0 << 1;
        QTest::newRow("verify") << QStringList { "-a", "1", "verify", "%1" }
                                << QByteArray(R"({"ch3.duty": 50, "ch4.frequency": 1000})") << 0
                                << "the module holds every value of .*" << 0 << 0;
        QTest::newRow("monitor --count 2")
            << QStringList { "-a", "1", "monitor", "--count", "2" } << none << 0
            << R"((.* baud_rate 9600 .*\n){1,2}requests 2, ok 2;.*)" << 0 << 0;
        QTest::newRow("baud") << QStringList { "-a", "1", "baud", "19200" } << none << 1 << "" << 1
                              << 0;
        QTest::newRow("address") << QStringList { "-a", "1", "address", "7" } << none << 1 << ""
                                 << 0 << 0;
    }

    void pwm5ctlThroughTheRtuFace()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, file);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(int, notes);
        QFETCH(int, writes);
        Plant plant;
        QCOMPARE(plant.start(), QString());
        QFile values(plant.dir.filePath("values.json"));
        QVERIFY(values.open(QIODevice::WriteOnly) && values.write(file) == file.size());
        values.close();
        for (QString& arg : args)
            arg = arg == "%1" ? values.fileName() : arg;

        const Run run = pwm5ctl(plant.dir.path(), plant.rtuClient() + args);

        QVERIFY2(run.exitCode == exitCode,
            qPrintable(QStringLiteral("%1: %2").arg(run.exitCode).arg(run.error)));
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(out));
        QVERIFY2(pattern.match(run.out.join(u'\n')).hasMatch(), qPrintable(run.out.join(u'\n')));
        QVERIFY(plant.lineSettled());
        QCOMPARE(plant.writes(), writes);
        // The module answers where it was, at the rate it had.
        const Run after = pwm5ctl(
            plant.dir.path(), plant.rtuClient() + QStringList { "-a", "1", "--json", "read" });
        QVERIFY2(after.exitCode == 0, qPrintable(after.error));
        const QJsonObject state = QJsonDocument::fromJson(after.out.join("").toUtf8()).object();
        QCOMPARE(state.value("address").toInt(), 1);
        QCOMPARE(state.value("baud_rate").toInt(), 9600);
        const auto lines = plant.stop();
        QVERIFY(lines);
        QCOMPARE(refusalNotes(*lines), qsizetype(notes));
    }

    // With --max-age, reads are answered from what the poll held; a write makes that too old
    // at once for the client that wrote, also when it sends its read without waiting for the
    // write's answer.
    void readAfterAWrite_data()
    {
        QTest::addColumn<bool>("pipelined");
        QTest::newRow("after the write's answer") << false;
        QTest::newRow("sent along with the write") << true;
    }

    void readAfterAWrite()
    {
        QFETCH(bool, pipelined);
        Plant plant;
        QCOMPARE(plant.start({ "--max-age", "60000" }), QString());
        MbapClient client(plant.tcpPort);
        QVERIFY(client.connected());
        // What the poll held answers this one.
        QVERIFY(client.send(mbap(1, 1, readPdu(kCh1Duty, 1))));
        QCOMPARE(client.answers(1).value(0).pdu, readAnswer(word(500)));

        const QByteArray write = mbap(2, 1, writePdu(kCh1Duty, 333));
        const QByteArray read = mbap(3, 1, readPdu(kCh1Duty, 1));
        if (pipelined) {
            QVERIFY(client.send(write + read));
        } else {
            QVERIFY(client.send(write));
            QCOMPARE(client.answers(1).value(0).pdu, writePdu(kCh1Duty, 333));
            QVERIFY(client.send(read));
        }
        const QList<MbapAnswer> answers = client.answers(pipelined ? 2 : 1);
        QCOMPARE(answers.size(), pipelined ? 2 : 1);
        if (pipelined)
            QCOMPARE(answers.front().pdu, writePdu(kCh1Duty, 333));
        QCOMPARE(answers.back().id, quint16(3));
        QCOMPARE(answers.back().pdu, readAnswer(word(333)));
    }

    // A write through a face shows in the module's state on the broker.
    void brokerStateAfterAFaceWrite()
    {
        if (!QFile::exists(QStringLiteral(PWM5_MBPOLL)))
            QSKIP("mbpoll is not installed");
        Plant plant;
        MqttBroker broker;
        QVERIFY2(broker.start(plant.dir.path()), qPrintable(broker.output()));
        MqttProbe probe;
        QVERIFY2(probe.connect(kHost, broker.port(), MqttBroker::kUser, MqttBroker::kPassword),
            qPrintable(probe.error()));
        QVERIFY(probe.subscribe(kPrefix + "/#"));
        QFile password(plant.dir.filePath("password"));
        QVERIFY(password.open(QIODevice::WriteOnly));
        password.write(QByteArray(MqttBroker::kPassword) + '\n');
        password.close();
        QCOMPARE(plant.start({ QStringLiteral("mqtt://pwm5@127.0.0.1:%1").arg(broker.port()),
                     "--password-file", password.fileName(), "--topic", kPrefix }),
            QString());
        const QString state = kPrefix + "/2/state";
        const auto duty = [&] {
            const auto m = probe.last(state);
            return QJsonDocument::fromJson(m ? m->payload : QByteArray())
                .object()
                .value("channels")
                .toArray()
                .at(1)
                .toObject()
                .value("duty")
                .toDouble();
        };
        QVERIFY(MqttProbe::waitFor([&] { return duty() == 50.0; }));

        const ToolRun run = mbpoll(plant.tcpPort, 2, kCh2Duty, 1, { "123" });

        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(MqttProbe::waitFor([&] { return duty() == 12.3; }));
    }

    // Three clients pipeline more requests than may wait, some for modules that answer, some
    // for a unit on no list that the bridge answers at once: each connection gets every answer
    // in the order it asked, under its own transaction id, with the module's data.
    void pipelinedFromSeveralClients()
    {
        constexpr int kClients = 3;
        constexpr int kEach = 20;
        Plant plant;
        QCOMPARE(plant.start(), QString());
        QByteArray registers[3]; // by unit, all 26
        MbapClient first(plant.tcpPort);
        QVERIFY(first.connected());
        QVERIFY(
            first.send(mbap(1, 1, readPdu(0, kRegisters)) + mbap(2, 2, readPdu(0, kRegisters))));
        const QList<MbapAnswer> whole = first.answers(2);
        QCOMPARE(whole.size(), 2);
        for (int unit : { 1, 2 })
            registers[unit] = whole.at(unit - 1).pdu.mid(2);
        QCOMPARE(wordAt(registers[1], 0), kSupply);

        struct Asked {
            quint16 id;
            quint8 unit;
            QByteArray answer;
        };
        std::vector<std::unique_ptr<MbapClient>> clients;
        std::vector<std::vector<Asked>> asked(kClients);
        for (int c = 0; c < kClients; ++c) {
            clients.push_back(std::make_unique<MbapClient>(plant.tcpPort));
            QVERIFY(clients.back()->connected());
            QByteArray requests;
            for (int i = 0; i < kEach; ++i) {
                const auto id = static_cast<quint16>(0x1000 * (c + 1) + 37 * i);
                const auto unit = static_cast<quint8>(i % 5 == 4 ? 9 : 1 + (c + i) % 2);
                const int start = (i * 7) % kRegisters;
                const int count = 1 + i % (kRegisters - start);
                requests += mbap(
                    id, unit, readPdu(static_cast<quint16>(start), static_cast<quint16>(count)));
                asked[c].push_back({ id, unit,
                    unit == 9 ? QByteArray("\x83\x0A", 2)
                              : readAnswer(registers[unit].mid(2 * start, 2 * count)) });
            }
            QVERIFY(clients.back()->send(requests));
        }
        for (int c = 0; c < kClients; ++c) {
            const QList<MbapAnswer> answers = clients[c]->answers(kEach);
            QCOMPARE(answers.size(), kEach);
            for (int i = 0; i < kEach; ++i) {
                const QByteArray where
                    = QStringLiteral("client %1, request %2").arg(c).arg(i).toUtf8();
                QVERIFY2(answers[i].id == asked[c][i].id, where.constData());
                QVERIFY2(answers[i].unit == asked[c][i].unit, where.constData());
                QVERIFY2(answers[i].pdu == asked[c][i].answer, where.constData());
            }
        }
    }

    // Connections the face does not take are closed at once, unanswered, and said once a
    // minute for each address, however often it comes; the clients it took go on.
    void refusedConnections_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("taken"); // connections served first
        QTest::addColumn<QString>("said");
        QTest::newRow("not on --allow") << QStringList { "--allow", "10.0.0.0/8" } << 0
                                        << "closed a connection from 127.0.0.1: not allowed";
        QTest::newRow("beyond --max-clients") << QStringList { "--max-clients",
            "2" } << 2 << "closed a connection from 127.0.0.1: 2 clients are connected already";
    }

    void refusedConnections()
    {
        QFETCH(QStringList, options);
        QFETCH(int, taken);
        QFETCH(QString, said);
        Plant plant;
        QCOMPARE(plant.start(options), QString());
        const QByteArray read = mbap(7, 1, readPdu(0, 1));
        std::vector<std::unique_ptr<MbapClient>> served;
        for (int i = 0; i < taken; ++i) {
            served.push_back(std::make_unique<MbapClient>(plant.tcpPort));
            QVERIFY(served.back()->connected() && served.back()->send(read));
            QCOMPARE(served.back()->answers(1).size(), 1);
        }

        for (int i = 0; i < 3; ++i) {
            MbapClient refused(plant.tcpPort);
            QVERIFY(refused.connected());
            refused.send(read);
            QVERIFY(refused.closed(kWaitMs));
            QCOMPARE(refused.received(), qint64(0));
        }

        for (const auto& client : served) {
            QVERIFY(client->send(read));
            QCOMPARE(client->answers(1).size(), 1);
        }
        const auto lines = plant.stop();
        QVERIFY(lines);
        QVERIFY2(lines->filter(said).size() == 1, qPrintable(lines->join(u'\n')));
    }

    // Clients that break the rules are closed, without an answer, and the bridge goes on
    // serving the others.
    void hostileClients_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("halfRequest"); // closed only once the 5 s for it have passed
        const QByteArray read = mbap(1, 1, readPdu(0, 1));
        QTest::newRow("protocol id 1") << mbap(1, 1, readPdu(0, 1), 1) << false;
        QTest::newRow("a length of 300")
            << QByteArray(read).replace(4, 2, word(300)) + QByteArray(299, '\0') << false;
        QTest::newRow("half a request") << read.left(9) << true;
    }

    void hostileClients()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, halfRequest);
        Plant plant;
        QCOMPARE(plant.start(), QString());
        MbapClient other(plant.tcpPort);
        QVERIFY(other.connected());

        MbapClient hostile(plant.tcpPort);
        QVERIFY(hostile.connected());
        QElapsedTimer sent;
        sent.start();
        hostile.send(bytes);
        QVERIFY(hostile.closed(kWaitMs));
        QCOMPARE(hostile.received(), qint64(0));
        // The face gives a request 5 s to finish; a slow client's is not cut short.
        if (halfRequest)
            QVERIFY2(sent.elapsed() >= 4000, qPrintable(QString::number(sent.elapsed())));

        QVERIFY(other.send(mbap(7, 1, readPdu(0, 1))));
        const QList<MbapAnswer> answer = other.answers(1);
        QVERIFY(answer.size() == 1 && answer.front().pdu == readAnswer(word(kSupply)));
    }

    // A client that sends reads without end and never reads its answers holds its own
    // connection up, no other: another client's write and read are served, and the poll goes
    // on.
    void aClientThatNeverReads()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        MbapClient greedy(plant.tcpPort);
        greedy.socket().setReadBufferSize(64);
        QVERIFY(greedy.connected());
        QByteArray flood;
        for (int i = 0; i < 4000; ++i)
            flood += mbap(static_cast<quint16>(i), 1, readPdu(0, kRegisters));
        QVERIFY(greedy.send(flood));

        MbapClient other(plant.tcpPort);
        QVERIFY(other.connected());
        QVERIFY(other.send(mbap(1, 2, writePdu(kCh2Duty, 77))));
        QCOMPARE(other.answers(1).value(0).pdu, writePdu(kCh2Duty, 77));
        QVERIFY(other.send(mbap(2, 2, readPdu(kCh2Duty, 1))));
        QCOMPARE(other.answers(1).value(0).pdu, readAnswer(word(77)));
        const qsizetype polls = plant.sim.output().count(pollOf(2));
        QVERIFY(plant.sim.waitUntil(
            [&](const QString& out) { return out.count(pollOf(2)) >= polls + 2; }, kWaitMs));
        QVERIFY(greedy.socket().state() == QAbstractSocket::ConnectedState);
    }

    // A face that cannot listen ends the bridge with status 3; no broker and no face, with 2;
    // each with one line.
    void startRefusals_data()
    {
        QTest::addColumn<QStringList>("args"); // after bridge; %1: a port taken
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("--modbus-tcp on a port taken")
            << QStringList { "--modbus-tcp", "127.0.0.1:%1" } << 3 << "pwm5ctl: --modbus-tcp";
        QTest::newRow("--rtu-tcp on a port taken")
            << QStringList { "--rtu-tcp", "127.0.0.1:%1" } << 3 << "pwm5ctl: --rtu-tcp";
        QTest::newRow("neither a broker nor a face")
            << QStringList {} << 2 << "pwm5ctl: bridge needs the BROKER";
    }

    void startRefusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QTemporaryDir dir;
        SimProcess sim;
        QVERIFY2(sim.start(dir.path(), {}), qPrintable(sim.output()));
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        for (QString& arg : args)
            if (arg.contains(u"%1"))
                arg = arg.arg(taken.serverPort());

        const Run run = pwm5ctl(
            dir.path(), QStringList { "-p", dir.filePath("COM1"), "-a", "1", "bridge" } + args);

        QCOMPARE(run.exitCode, exitCode);
        const QStringList lines = run.error.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 1 && lines.front().startsWith(said), qPrintable(run.error));
    }
};

QTEST_GUILESS_MAIN(TestBridgeFaces)
#include "tst_bridge_faces.moc"
