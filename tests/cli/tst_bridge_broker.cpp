#include "support/fake_mqtt_broker.h"
#include "support/mqtt_broker.h"
#include "support/mqtt_probe.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include "cli/mqtt_client.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <memory>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

// pwm5ctl bridge against brokers that refuse, stall, drop it or are held by another bridge, and
// settings libmosquitto refuses: it says what happened and neither crashes, nor loses a
// result, nor sends a byte before TLS is set.

namespace {

constexpr int kWaitMs = 30000;
const QString kPrefix = QStringLiteral("test/line");

QString topic(int address, const char* what)
{
    return QStringLiteral("%1/%2/%3").arg(kPrefix).arg(address).arg(QLatin1String(what));
}

// A module, a broker (real or fake), a probe and the bridge between.
struct Plant {
    QTemporaryDir dir;
    MqttBroker broker;
    SimProcess sim;
    MqttProbe probe;
    RunningPwm5ctl bridge;

    QString file(const QString& name, const QByteArray& content) const
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return f.fileName();
    }
    QString url() const { return QStringLiteral("mqtt://pwm5@127.0.0.1:%1").arg(broker.port()); }
    // Empty when the broker is up and the probe subscribed to the filters, else what failed.
    QString startBroker(const QStringList& filters = { kPrefix + "/#" })
    {
        if (!broker.start(dir.path()))
            return QStringLiteral("broker: ") + broker.output();
        if (!probe.connect("127.0.0.1", broker.port(), MqttBroker::kUser, MqttBroker::kPassword))
            return QStringLiteral("probe: ") + probe.error();
        for (const QString& filter : filters)
            if (!probe.subscribe(filter))
                return QStringLiteral("probe: ") + probe.error();
        return {};
    }
    void startBridge(const QString& brokerUrl, const QStringList& more = {},
        const QStringList& simOptions = { "--address", "1" })
    {
        QVERIFY2(sim.start(dir.path(), simOptions), qPrintable(sim.output()));
        QStringList args { "-p", dir.filePath("COM1"), "-a", "1", "-t", "5000", "--interval", "100",
            "bridge", brokerUrl, "--topic", kPrefix };
        // A password goes with a user only.
        if (brokerUrl.contains(u'@'))
            args << "--password-file" << file("password", QByteArray(MqttBroker::kPassword) + '\n');
        bridge.start(dir.path(), args + more);
    }
    // The line the bridge writes when a connection to the broker at url fails for why.
    bool said(const QString& brokerUrl, const QString& why, int timeoutMs = kWaitMs)
    {
        return bridge.waitForLine(QProcess::StandardError,
            QStringLiteral("pwm5ctl: %1: %2").arg(brokerUrl, why), timeoutMs);
    }
    bool online(int address)
    {
        return MqttProbe::waitFor([&] {
            const auto m = probe.last(topic(address, "availability"));
            return m && m->payload == "online";
        });
    }
};

// Lines of the log that hold both texts.
int countOf(const QString& log, const QString& a, const QString& b)
{
    int n = 0;
    for (const QString& line : log.split(u'\n'))
        n += line.contains(a) && line.contains(b) ? 1 : 0;
    return n;
}

} // namespace

class TestBridgeBroker : public QObject {
    Q_OBJECT

private slots:
    // Settings libmosquitto refuses, and CA files that cannot serve: exit status 3 (or 2 for a
    // prefix refused before), one line saying what, no crash, and nothing sent to the broker:
    // without TLS the password would go in clear.
    void setUpRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("a control character in the client id") << "id"
                                                              << "";
        QTest::newRow("a CA file that is not there") << "missing"
                                                     << "--ca-file";
        QTest::newRow("a folder for a CA file") << "folder"
                                                << "--ca-file";
        QTest::newRow("a CA file that is no PEM") << "not-pem"
                                                  << "--ca-file";
    }

    void setUpRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        Plant plant;
        FakeMqttBroker fake(FakeMqttBroker::Behaviour::Silent);
        QVERIFY(fake.port() != 0);
        QString url = QStringLiteral("mqtts://pwm5@127.0.0.1:%1").arg(fake.port());
        QStringList more { "--ca-file", plant.dir.filePath("ca.pem") };
        if (kind == "id") {
            url = QStringLiteral("mqtt://pwm5@127.0.0.1:%1").arg(fake.port());
            more = QStringList { "--topic", QStringLiteral("a\x01z") };
        } else if (kind == "folder") {
            QVERIFY(QDir(plant.dir.path()).mkdir("ca.pem"));
        } else if (kind == "not-pem") {
            plant.file("ca.pem", "not a certificate\n");
        }
        plant.startBridge(url, more);
        const Run run = plant.bridge.finish(kWaitMs);
        const QStringList lines = run.error.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2((run.exitCode == 3 || run.exitCode == 2) && lines.size() == 1
                && lines.front().contains(said),
            qPrintable(QStringLiteral("exit %1: %2").arg(run.exitCode).arg(run.error)));
        QCOMPARE(fake.received(), QByteArray());
    }

    // A broker that refuses the command topics' subscriptions (as one with an ACL may): never
    // online, one line that names the filter, and another attempt.
    void subscriptionRefused()
    {
        Plant plant;
        FakeMqttBroker fake(FakeMqttBroker::Behaviour::RefusesWildcards);
        QVERIFY(fake.port() != 0);
        const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(fake.port());
        plant.startBridge(url);
        QVERIFY(plant.said(url, "the broker refused the subscription to test/line/+/set"));
        // The next attempt has come: the first is over, and it published nothing.
        QTRY_VERIFY_WITH_TIMEOUT(fake.acceptTimes().size() >= 2, kWaitMs);
        QCOMPARE(fake.published(), QStringList());
    }

    // A prefix another bridge holds (its retained online on P/bridge): this one stays off and
    // says so, publishes nothing, and takes over once the other's will says offline.
    void prefixHeldElsewhere()
    {
        Plant plant;
        QCOMPARE(plant.startBroker(), QString());
        QVERIFY(plant.probe.publish(kPrefix + "/bridge", "online", 1, true));
        plant.startBridge(plant.url());
        QVERIFY(plant.said(
            plant.url(), "another bridge holds the topic prefix (test/line/bridge is online)"));
        QVERIFY(!plant.probe.last(topic(1, "availability")));
        QCOMPARE(plant.probe.messages(kPrefix + "/bridge").size(), 1);
        QVERIFY(plant.probe.publish(kPrefix + "/bridge", "offline", 1, true));
        QVERIFY(plant.online(1));
        QVERIFY(MqttProbe::waitFor(
            [&] { return plant.probe.last(kPrefix + "/bridge")->payload == "online"; }));
    }

    // Two bridges on one prefix: the second says that another holds it and leaves the first
    // alone (online, never knocked off).
    void twoBridgesOnePrefix()
    {
        Plant plant;
        QCOMPARE(plant.startBroker(), QString());
        plant.startBridge(plant.url());
        QVERIFY(plant.online(1));
        SimProcess sim2;
        QVERIFY2(sim2.start(plant.dir.path(), { "--address", "1" }, 2), qPrintable(sim2.output()));
        RunningPwm5ctl second;
        second.start(plant.dir.path(),
            { "-p", plant.dir.filePath("COM2"), "-a", "1", "bridge", plant.url(), "--topic",
                kPrefix, "--password-file", plant.dir.filePath("password") });
        static const QRegularExpression connected(
            QStringLiteral("New client connected from \\S+ as (pwm5\\S*) "));
        QStringList ids;
        QVERIFY(plant.broker.waitForOutput(
            [&](const QString& log) {
                ids.clear();
                for (const auto& match : connected.globalMatch(log))
                    ids << match.captured(1);
                return ids.size() >= 2;
            },
            kWaitMs));
        // Two ids: the broker never lets the second take the first's place.
        QVERIFY(ids.at(0) != ids.at(1));
        QVERIFY(second.waitForLine(QProcess::StandardError,
            QStringLiteral("pwm5ctl: %1: another bridge holds the topic prefix").arg(plant.url()),
            kWaitMs));
        QCOMPARE(plant.probe.last(kPrefix + "/bridge")->payload, QByteArray("online"));
        QCOMPARE(plant.probe.messages(kPrefix + "/bridge").size(), 1);
        QVERIFY(plant.bridge.process().state() == QProcess::Running);
        QVERIFY(!plant.broker.output().contains("closing old connection"));
    }

    // A broker that accepts and drops the connection at once is tried after 1, 2, 4 s, not
    // every second. Lower bounds only, with room for a coarse timer.
    void droppedAfterConnack()
    {
        Plant plant;
        FakeMqttBroker fake(FakeMqttBroker::Behaviour::ConnackThenClose);
        QVERIFY(fake.port() != 0);
        plant.startBridge(QStringLiteral("mqtt://127.0.0.1:%1").arg(fake.port()));
        QTRY_VERIFY_WITH_TIMEOUT(fake.acceptTimes().size() >= 4, kWaitMs);
        const QList<qint64> at = fake.acceptTimes();
        QVERIFY2(at[1] - at[0] >= 800 && at[2] - at[1] >= 1600 && at[3] - at[2] >= 3200,
            qPrintable(QStringLiteral("accepted at %1 ms").arg(QString::number(at[0]))));
    }

    // A broker that never answers CONNECT is said as such, well before keep-alive's 45 s.
    void silentBroker()
    {
        Plant plant;
        FakeMqttBroker fake(FakeMqttBroker::Behaviour::Silent);
        QVERIFY(fake.port() != 0);
        const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(fake.port());
        plant.startBridge(url);
        QVERIFY(plant.said(url, "the broker did not answer the connection within 10 s", 25000));
        QVERIFY(fake.received().startsWith('\x10'));
    }

    // A command the bridge took just before the broker died is answered on the next
    // connection: the result, made while the broker was away, waits in the outbox.
    void resultOverABrokerRestart()
    {
        Plant plant;
        plant.broker.addConfiguration(QStringLiteral("log_type all\n"));
        QCOMPARE(plant.startBroker({ topic(1, "availability") }), QString());
        // Each exchange takes 1.5 s: the command is served well after the broker went.
        plant.startBridge(plant.url(), {}, { "--address", "1", "--delay", "1500" });
        QVERIFY(plant.online(1));
        QVERIFY(plant.probe.publish(topic(1, "set") + "/ch1.duty", "30", 1));
        QVERIFY(plant.broker.waitForOutput(
            [](const QString& log) {
                return countOf(log, "Sending PUBLISH to", "'test/line/1/set/ch1.duty'") > 0;
            },
            kWaitMs));
        plant.broker.kill();
        // The module has taken the write: the result is there while the broker is away.
        QVERIFY(plant.sim.waitForOutput("01 10 00 01", kWaitMs));
        QVERIFY(plant.broker.restart());
        QVERIFY2(plant.broker.waitForOutput(
                     [](const QString& log) {
                         return countOf(log, "Received PUBLISH from", "'test/line/1/result'") > 0;
                     },
                     kWaitMs),
            qPrintable(plant.broker.output()));
    }

    // A name server that never answers: the name is resolved beside the event loop, so the
    // line is polled meanwhile and SIGTERM ends the bridge at once. The bridge gets its own
    // /etc/resolv.conf (a mount namespace, as root) naming a UDP socket of the test's.
    void silentNameServer()
    {
        if (::geteuid() != 0)
            QSKIP("a resolv.conf of the bridge's own needs root (a mount namespace)");
        Plant plant;
        QUdpSocket nameServer;
        if (!nameServer.bind(QHostAddress(QStringLiteral("127.0.0.77")), 53))
            QSKIP("127.0.0.77:53 is taken");
        const QString resolv
            = plant.file("resolv.conf", "nameserver 127.0.0.77\noptions timeout:30 attempts:2\n");
        const QByteArray source = QFile::encodeName(resolv);
        plant.bridge.process().setChildProcessModifier([source] {
            // The mounts made private first: the bind stays in the child's namespace.
            if (::unshare(CLONE_NEWNS) != 0
                || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount(source.constData(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
                ::_exit(99);
        });
        plant.startBridge(QStringLiteral("mqtt://pwm5@broker.pwm5.test:1883"));
        QTRY_VERIFY_WITH_TIMEOUT(nameServer.hasPendingDatagrams()
                || plant.bridge.process().state() == QProcess::NotRunning,
            kWaitMs);
        if (plant.bridge.process().state() == QProcess::NotRunning)
            QSKIP("no mount namespace here");
        // The simulator writes a line for each exchange.
        const auto reads = [&] { return plant.sim.output().count(u'\n'); };
        const qsizetype before = reads();
        // Well within the name server's 30 s: the loop that polls the line is not held.
        QTRY_VERIFY_WITH_TIMEOUT(reads() >= before + 3, 15000);
        QCOMPARE(::kill(static_cast<pid_t>(plant.bridge.process().processId()), SIGTERM), 0);
        const Run run = plant.bridge.finish(10000);
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
    }

    // Twenty commands of 20 MB while the bridge is busy on the line: each is answered, and
    // the bridge's peak memory grows by about one of them (libmosquitto reads a packet whole),
    // not by the commands waiting.
    void hugeCommands()
    {
        constexpr int kCommands = 20;
        constexpr qint64 kMostGrowthKiB = 90 * 1024;
        Plant plant;
        QCOMPARE(plant.startBroker({ topic(1, "availability"), topic(1, "result") }), QString());
        // Each exchange takes 2 s: the commands all come while the bridge waits on the line.
        plant.startBridge(plant.url(), {}, { "--address", "1", "--delay", "2000" });
        QVERIFY(plant.online(1));
        const auto peakKiB = [&] {
            QFile status(QStringLiteral("/proc/%1/status").arg(plant.bridge.process().processId()));
            status.open(QIODevice::ReadOnly);
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    return line.mid(6).trimmed().split(' ').front().toLongLong();
            return qint64(0);
        };
        const qint64 before = peakKiB();
        const QByteArray huge(20 * 1024 * 1024, '{');
        for (int i = 0; i < kCommands; ++i)
            QVERIFY(plant.probe.publish(topic(1, "set"), huge, 1));
        QVERIFY(MqttProbe::waitFor(
            [&] { return plant.probe.messages(topic(1, "result")).size() >= kCommands; }));
        const qint64 growth = peakKiB() - before;
        QVERIFY2(growth < kMostGrowthKiB, qPrintable(QStringLiteral("%1 KiB").arg(growth)));
    }

    // A message larger than the bound is not copied: its size alone says how large it was.
    void largeMessages_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("kept");
        QTest::newRow("at the bound") << 64 * 1024 << true;
        QTest::newRow("a byte beyond") << 64 * 1024 + 1 << false;
        QTest::newRow("20 MB") << 20 * 1024 * 1024 << false;
    }

    void largeMessages()
    {
        QFETCH(int, size);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        MqttBroker broker;
        QVERIFY2(broker.start(dir.path()), qPrintable(broker.output()));
        QString why;
        const cli::MosquittoApi* api = cli::mosquittoApi(why);
        QVERIFY2(api, qPrintable(why));
        cli::MqttClient client(*api,
            { { false, MqttBroker::kUser, "127.0.0.1", broker.port() }, MqttBroker::kPassword, {},
                "large-messages", "t/bridge", 64 * 1024 });
        bool subscribed = false;
        QList<cli::MqttClient::Message> received;
        connect(&client, &cli::MqttClient::connected, [&] { client.subscribe("t/in", 1); });
        connect(&client, &cli::MqttClient::subscribed, [&] { subscribed = true; });
        connect(&client, &cli::MqttClient::message,
            [&](const cli::MqttClient::Message& m) { received << m; });
        client.start();
        QTRY_VERIFY_WITH_TIMEOUT(subscribed, kWaitMs);
        MqttProbe probe;
        QVERIFY(
            probe.connect("127.0.0.1", broker.port(), MqttBroker::kUser, MqttBroker::kPassword));
        QVERIFY(probe.publish("t/in", QByteArray(size, 'x'), 1));
        QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), kWaitMs);
        QCOMPARE(received.front().size, qsizetype(size));
        QCOMPARE(received.front().payload.size(), kept ? qsizetype(size) : 0);
        client.finish(std::chrono::seconds(2));
    }

    // Ids and will topics libmosquitto refuses end in refused(), said, not in a crash.
    void refusedSettings_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("will");
        QTest::addColumn<QString>("said");
        QTest::newRow("an empty id") << ""
                                     << "t/bridge"
                                     << "the client id";
        QTest::newRow("a control character") << "a\x01z"
                                             << "t/bridge"
                                             << "the client id";
        QTest::newRow("a noncharacter") << QString(QChar(0xfffe)) << "t/bridge"
                                        << "the client id";
        QTest::newRow("a will topic with a wildcard") << "ok"
                                                      << "t/#/bridge"
                                                      << "the will topic";
    }

    void refusedSettings()
    {
        QFETCH(QString, id);
        QFETCH(QString, will);
        QFETCH(QString, said);
        QString why;
        const cli::MosquittoApi* api = cli::mosquittoApi(why);
        QVERIFY2(api, qPrintable(why));
        cli::MqttClient client(*api, { { false, {}, "127.0.0.1", 1 }, {}, {}, id, will });
        QString refused;
        connect(&client, &cli::MqttClient::refused, [&](const QString& w) { refused = w; });
        client.start();
        QVERIFY2(refused.startsWith("libmosquitto refuses " + said), qPrintable(refused));
        QCOMPARE(client.state(), cli::MqttClient::State::Refused);
    }
};

QTEST_GUILESS_MAIN(TestBridgeBroker)
#include "tst_bridge_broker.moc"
