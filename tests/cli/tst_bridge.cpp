#include "support/mqtt_broker.h"
#include "support/mqtt_probe.h"
#include "support/pwm5ctl_runner.h"
#include "support/sim_process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

// pwm5ctl bridge against a real broker (mosquitto, with a password file and a TLS listener) and
// the bus simulator, given to the bridge by its link's absolute path: what it publishes, the
// commands it takes and refuses, and what a lost port, a restarted broker or a signal do.

namespace {

constexpr int kWaitMs = 30000;
const QString kPrefix = QStringLiteral("test/line");

QString topic(int address, const char* what)
{
    return QStringLiteral("%1/%2/%3").arg(kPrefix).arg(address).arg(QLatin1String(what));
}

QJsonObject json(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// A line of modules, a broker, a probe subscribed to everything, and the bridge between.
struct Plant {
    QTemporaryDir dir;
    MqttBroker broker;
    std::unique_ptr<SimProcess> sim;
    MqttProbe probe;
    RunningPwm5ctl bridge;

    QString link() const { return dir.filePath(QStringLiteral("COM1")); }
    QString passwordFile(const QByteArray& password = MqttBroker::kPassword) const
    {
        QFile file(dir.filePath(QStringLiteral("password")));
        file.open(QIODevice::WriteOnly);
        file.write(password + '\n');
        return file.fileName();
    }
    // Empty when all are up, else what went wrong.
    QString start(const QStringList& simOptions = { "--address", "1-2" })
    {
        if (!broker.start(dir.path()))
            return QStringLiteral("broker: ") + broker.output();
        if (!startSim(simOptions))
            return QStringLiteral("simulator: ") + sim->output();
        if (!probe.connect("127.0.0.1", broker.port(), MqttBroker::kUser, MqttBroker::kPassword)
            || !probe.subscribe(kPrefix + "/#") || !probe.subscribe("homeassistant/#"))
            return QStringLiteral("probe: ") + probe.error();
        return {};
    }
    bool startSim(const QStringList& options)
    {
        sim = std::make_unique<SimProcess>();
        return sim->start(dir.path(), options);
    }
    QStringList bridgeArgs(const QString& addresses = "1-2") const
    {
        return { "-p", link(), "-a", addresses, "--interval", "100", "bridge",
            QStringLiteral("mqtt://pwm5@127.0.0.1:%1").arg(broker.port()), "--password-file",
            passwordFile(), "--topic", kPrefix };
    }
    void startBridge(const QStringList& args) { bridge.start(dir.path(), args); }
    bool online(int address)
    {
        return MqttProbe::waitFor([&] {
            const auto m = probe.last(topic(address, "availability"));
            return m && m->payload == "online";
        });
    }
    // The result of the next command to the module, once it has come.
    std::optional<QJsonObject> resultAfter(
        int address, const QString& what, const QByteArray& payload)
    {
        const qsizetype before = probe.messages(topic(address, "result")).size();
        if (!probe.publish(topic(address, "set") + what, payload, 1))
            return std::nullopt;
        if (!MqttProbe::waitFor(
                [&] { return probe.messages(topic(address, "result")).size() > before; }))
            return std::nullopt;
        return json(probe.messages(topic(address, "result")).at(before).payload);
    }
    // Writes (function 0x06 or 0x10) to the module that the simulator has logged.
    int writesTo(int address)
    {
        int n = 0;
        const QString single = QStringLiteral("  %1 06 ").arg(address, 2, 16, QLatin1Char('0'));
        const QString several = QStringLiteral("  %1 10 ").arg(address, 2, 16, QLatin1Char('0'));
        for (const QString& line : sim->output().split(u'\n'))
            n += line.contains(single.toUpper()) || line.contains(several.toUpper()) ? 1 : 0;
        return n;
    }
};

} // namespace

class TestBridge : public QObject {
    Q_OBJECT

private slots:
    // State, availability and the bridge are retained: a subscriber that comes late sees them
    // at once; the state is read --json's object.
    void retainedForALateSubscriber()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1) && plant.online(2));
        QVERIFY(
            MqttProbe::waitFor([&] { return plant.probe.last(topic(2, "state")).has_value(); }));

        MqttProbe late;
        QVERIFY(late.connect(
            "127.0.0.1", plant.broker.port(), MqttBroker::kUser, MqttBroker::kPassword));
        QVERIFY(late.subscribe(kPrefix + "/#"));
        QVERIFY(MqttProbe::waitFor([&] { return late.last(topic(2, "state")).has_value(); }));
        for (const QString& t :
            { kPrefix + "/bridge", topic(1, "availability"), topic(2, "state") })
            QVERIFY2(late.last(t) && late.last(t)->retained, qPrintable(t));
        QCOMPARE(late.last(kPrefix + "/bridge")->payload, QByteArray("online"));
        const QJsonObject state = json(late.last(topic(2, "state"))->payload);
        QCOMPARE(state.value("address").toInt(), 2);
        QCOMPARE(state.value("ok").toBool(), true);
        QCOMPARE(state.value("supply_voltage").toDouble(), 12.34);
        QVERIFY(state.contains("time") && state.value("channels").toArray().size() == 5);
    }

    // Every form a command takes, each answered with the values as written; one the module
    // holds already changes nothing.
    void commands_data()
    {
        QTest::addColumn<QString>("what"); // after P/A/set
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("changed");
        QTest::newRow("a bare number")
            << "/ch1.duty" << QByteArray("25.55") << R"({"ch1.duty":25.6})";
        QTest::newRow("ON") << "/ch2.output" << QByteArray("ON") << R"({"ch2.output":true})";
        QTest::newRow("the nested form")
            << "" << QByteArray(R"({"channels":[{},{},{"frequency":2000}],"pwm_voltage":12})")
            << R"({"ch3.frequency":2000,"pwm_voltage":12})";
        QTest::newRow("script names") << "" << QByteArray(R"({"key_lock":true,"channel":3})")
                                      << R"({"channel":3,"key_lock":true})";
        QTest::newRow("the changed object")
            << "" << QByteArray(R"({"changed":{"ch5.duty":0}})") << R"({"ch5.duty":0})";
        QTest::newRow("what the module holds") << "/ch4.frequency" << QByteArray("1000") << "{}";
    }

    void commands()
    {
        QFETCH(QString, what);
        QFETCH(QByteArray, payload);
        QFETCH(QString, changed);
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(2));
        const auto result = plant.resultAfter(2, what, payload);
        QVERIFY(result);
        QCOMPARE(result->value("ok").toBool(), true);
        QCOMPARE(QJsonDocument(result->value("changed").toObject()).toJson(QJsonDocument::Compact),
            changed.toUtf8());
        // The state follows, with what the module holds now.
        QVERIFY(MqttProbe::waitFor([&]() -> bool {
            const auto state = plant.probe.last(topic(2, "state"));
            const QJsonObject values = json(state ? state->payload : QByteArray());
            const QJsonObject written = json(changed.toUtf8());
            return !written.contains("ch1.duty")
                || values.value("channels").toArray().at(0).toObject().value("duty").toDouble()
                == 25.6;
        }));
    }

    // Each kind of bad request is answered as one, and nothing is sent for it: the next good
    // command is the module's only write.
    void badRequests()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1));
        const QList<std::pair<QString, QByteArray>> bad {
            { "", "not json" },
            { "/ch9.duty", "5" },
            { "/ch1.duty", "100.5" },
            { "/channel", "2.5" },
            { "", QByteArray(64 * 1024 + 10, ' ') },
            { "", R"({"address":5})" },
            { "/baud_rate", "19200" },
            { "", R"({"supply_voltage":12})" },
        };
        for (const auto& [what, payload] : bad) {
            const auto result = plant.resultAfter(1, what, payload);
            QVERIFY2(result && result->value("failure").toString() == "bad_request"
                    && result->value("ok") == false && !result->value("error").toString().isEmpty(),
                qPrintable(what + ": " + QJsonDocument(result.value_or(QJsonObject())).toJson()));
        }
        const auto good = plant.resultAfter(1, "/ch1.duty", "30");
        QVERIFY(good && good->value("ok").toBool());
        QVERIFY(plant.sim->waitForOutput("01 10 00 01", kWaitMs));
        QCOMPARE(plant.writesTo(1), 1);
    }

    // A retained command would undo the operator's later values at every connection: it is
    // answered once and never applied, also when the bridge connects again; a message over
    // 64 KiB is refused in its turn, and the command after both is served.
    void retainedAndLargeCommands()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        QVERIFY(plant.probe.publish(topic(1, "set") + "/ch1.duty", "33", 1, true));
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1));
        QVERIFY(
            MqttProbe::waitFor([&] { return !plant.probe.messages(topic(1, "result")).empty(); }));
        const QJsonObject retained = json(plant.probe.messages(topic(1, "result")).front().payload);
        QVERIFY(retained.value("error").toString().contains("retained"));
        QCOMPARE(retained.value("failure").toString(), QString("bad_request"));

        QVERIFY(plant.probe.publish(topic(1, "set"), QByteArray(64 * 1024 + 1, ' '), 1));
        QVERIFY(MqttProbe::waitFor(
            [&] { return plant.probe.messages(topic(1, "result")).size() == 2; }));
        const auto good = plant.resultAfter(1, "/ch2.duty", "44");
        QVERIFY(good && good->value("ok").toBool());
        const QList<MqttMessage> results = plant.probe.messages(topic(1, "result"));
        QCOMPARE(results.size(), 3);
        QVERIFY(json(results.at(1).payload).value("error").toString().contains("64 KiB"));

        // The broker comes back without its retained messages: the test publishes it again,
        // as a broker that keeps them would hand it out, and it is not answered twice.
        plant.broker.stop();
        QVERIFY(plant.broker.restart());
        QVERIFY(MqttProbe::waitFor([&] { return plant.probe.connections() == 2; }));
        QVERIFY(plant.probe.publish(topic(1, "set") + "/ch1.duty", "33", 1, true));
        QVERIFY(MqttProbe::waitFor([&] {
            const auto m = plant.probe.last(kPrefix + "/bridge");
            return m && m->payload == "online"
                && plant.probe.messages(kPrefix + "/bridge").size() >= 3;
        }));
        const auto after = plant.resultAfter(1, "/ch3.duty", "55");
        QVERIFY(after && after->value("ok").toBool());
        QCOMPARE(plant.probe.messages(topic(1, "result")).size(), 4);
        // The simulator's log comes through a pipe: the second write may still be on its way.
        QVERIFY(MqttProbe::waitFor([&] { return plant.writesTo(1) >= 2; }));
        QCOMPARE(plant.writesTo(1), 2);
    }

    // Commands from four clients as fast as they can send them, far more than may wait: every
    // command message gets exactly one result, whether served or refused.
    void floodFromSeveralClients()
    {
        constexpr int kClients = 4;
        constexpr int kEach = 2500;
        Plant plant;
        // The broker holds whatever its subscribers have not taken yet, as the test's probe
        // takes 10,000 results at once.
        plant.broker.addConfiguration(QStringLiteral("max_queued_messages 0\n"));
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1));
        std::vector<std::unique_ptr<MqttProbe>> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.push_back(std::make_unique<MqttProbe>());
            QVERIFY(clients.back()->connect(
                "127.0.0.1", plant.broker.port(), MqttBroker::kUser, MqttBroker::kPassword));
        }
        // One in fifty goes to module 1 and the line; the others to an address the bridge does
        // not serve, answered at once.
        int toModule = 0;
        for (int i = 0; i < kEach; ++i)
            for (const auto& client : clients) {
                const bool line = i % 50 == 0;
                toModule += line ? 1 : 0;
                QVERIFY(client->publish(
                    line ? topic(1, "set") + "/ch1.duty" : topic(9, "set") + "/ch1.duty",
                    QByteArray::number(i % 100), 0));
            }
        const auto results = [&] {
            return plant.probe.messages(topic(1, "result")).size()
                + plant.probe.messages(topic(9, "result")).size();
        };
        QVERIFY2(MqttProbe::waitFor([&] { return results() >= kClients * kEach; }, 120000),
            qPrintable(QString::number(results())));
        QCOMPARE(plant.probe.messages(topic(1, "result")).size(), qsizetype(toModule));
        // Nothing more comes: a result for each, and one only.
        const auto probeDone = plant.resultAfter(2, "/ch1.duty", "1");
        QVERIFY(probeDone && probeDone->value("ok").toBool());
        QCOMPARE(results(), qsizetype(kClients * kEach));
    }

    // A set topic whose level is no module of the list still gets its result, on that level
    // as given, and nothing goes to the line: blanks and leading zeros are no address.
    void oddLevels()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1));
        for (const QString level : { "0", "248", "255", "01", "x", "-1", " 1", "3" }) {
            const QString result = kPrefix + u'/' + level + QStringLiteral("/result");
            QVERIFY(plant.probe.publish(
                kPrefix + u'/' + level + QStringLiteral("/set/ch1.duty"), "10", 1));
            QVERIFY2(MqttProbe::waitFor([&] { return plant.probe.last(result).has_value(); }),
                qPrintable(level));
            const QJsonObject answer = json(plant.probe.last(result)->payload);
            QVERIFY2(answer.value("failure").toString() == "bad_request",
                qPrintable(level + ": " + plant.probe.last(result)->payload));
        }
        QCOMPARE(plant.writesTo(1), 0);
    }

    // A module on the list that does not answer goes offline after three rounds; the others
    // keep theirs, and are read many times meanwhile.
    void anAbsentModuleGoesOffline()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs("1,5,2"));
        QVERIFY(plant.online(1) && plant.online(2));
        QVERIFY(MqttProbe::waitFor([&] {
            const auto m = plant.probe.last(topic(5, "availability"));
            return m && m->payload == "offline";
        }));
        QVERIFY(!plant.probe.last(topic(5, "state")));
        const auto result = plant.resultAfter(2, "/ch2.duty", "20");
        QVERIFY(result && result->value("ok").toBool());
        QCOMPARE(plant.probe.last(topic(1, "availability"))->payload, QByteArray("online"));
    }

    // The port goes away: every module offline, the bridge stays online; the port comes back
    // under the same link and polling resumes.
    void portLostAndBack()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1) && plant.online(2));
        plant.sim->stop();
        // The port named once, and what happened to it.
        QVERIFY(plant.bridge.waitForLine(QProcess::StandardError,
            QStringLiteral("pwm5ctl: %1: the device is gone").arg(plant.link()), kWaitMs));
        QVERIFY(MqttProbe::waitFor([&] {
            return plant.probe.last(topic(1, "availability"))->payload == "offline"
                && plant.probe.last(topic(2, "availability"))->payload == "offline";
        }));
        QCOMPARE(plant.probe.last(kPrefix + "/bridge")->payload, QByteArray("online"));
        QVERIFY(plant.startSim({ "--address", "1-2" }));
        QVERIFY(plant.online(1) && plant.online(2));
        QVERIFY(
            plant.bridge.waitForLine(QProcess::StandardError, "pwm5ctl: " + plant.link(), kWaitMs));
    }

    // The broker stops and starts again on its port: the bridge connects again, subscribes
    // again and publishes again what the broker lost.
    void brokerRestarted()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(
            MqttProbe::waitFor([&] { return plant.probe.last(topic(2, "state")).has_value(); }));
        plant.broker.stop();
        QVERIFY(plant.broker.restart());
        plant.probe.clear();
        QVERIFY(MqttProbe::waitFor([&] {
            return plant.probe.connections() == 2 && plant.probe.last(topic(2, "state"))
                && plant.probe.last(kPrefix + "/bridge")
                && plant.probe.last(kPrefix + "/bridge")->payload == "online";
        }));
        const auto result = plant.resultAfter(1, "/key_lock", "on");
        QVERIFY(result && result->value("ok").toBool());
    }

    // kill -9 leaves the will; SIGTERM says offline itself and ends with exit status 0.
    void endings_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGKILL: the will") << int(SIGKILL);
        QTest::newRow("SIGTERM: a normal stop") << int(SIGTERM);
        QTest::newRow("SIGINT: a normal stop") << int(SIGINT);
        QTest::newRow("SIGHUP: a normal stop") << int(SIGHUP);
    }

    void endings()
    {
        QFETCH(int, signal);
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs());
        QVERIFY(plant.online(1) && plant.online(2));
        QVERIFY(MqttProbe::waitFor(
            [&] { return plant.probe.last(kPrefix + "/bridge")->payload == "online"; }));
        QCOMPARE(::kill(static_cast<pid_t>(plant.bridge.process().processId()), signal), 0);
        QVERIFY(MqttProbe::waitFor(
            [&] { return plant.probe.last(kPrefix + "/bridge")->payload == "offline"; }));
        const Run run = plant.bridge.finish(kWaitMs);
        if (signal == SIGKILL)
            return;
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        for (int address : { 1, 2 })
            QCOMPARE(
                plant.probe.last(topic(address, "availability"))->payload, QByteArray("offline"));
    }

    // A refused login and a certificate that does not verify end the bridge with status 3
    // and one line that says which; the test CA's TLS listener serves it.
    void brokerRefusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("bad password") << "password" << 3 << "the broker refused the login";
        QTest::newRow("TLS with the test CA") << "tls" << -1 << "";
        QTest::newRow("TLS with another CA") << "other-ca" << 3 << "TLS with the broker failed";
    }

    void brokerRefusals()
    {
        QFETCH(QString, kind);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        Plant plant;
        QCOMPARE(plant.start(), QString());
        QStringList args = plant.bridgeArgs();
        const qsizetype broker = args.indexOf("bridge") + 1;
        if (kind == "password") {
            args[args.indexOf("--password-file") + 1] = plant.passwordFile("wrong");
        } else {
            args[broker] = QStringLiteral("mqtts://pwm5@127.0.0.1:%1").arg(plant.broker.tlsPort());
            args << "--ca-file"
                 << (kind == "tls" ? plant.broker.caFile() : plant.broker.otherCaFile());
        }
        plant.startBridge(args);
        if (exitCode < 0) {
            QVERIFY(plant.online(1));
            return;
        }
        const Run run = plant.bridge.finish(kWaitMs);
        const QStringList lines = run.error.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(run.exitCode == exitCode && lines.size() == 1 && lines.front().contains(said),
            qPrintable(run.error));
    }

    // One retained config per entity, of each kind, with the module's topics.
    void discovery()
    {
        Plant plant;
        QCOMPARE(plant.start(), QString());
        plant.startBridge(plant.bridgeArgs("2") << "--discovery");
        QVERIFY(MqttProbe::waitFor([&] {
            int configs = 0;
            for (const MqttMessage& m : plant.probe.messages())
                configs += m.topic.startsWith("homeassistant/") ? 1 : 0;
            return configs == 19;
        }));
        const auto config = [&](const char* component, const char* object) {
            const auto m = plant.probe.last(
                QStringLiteral("homeassistant/%1/test_line_2/%2/config").arg(component, object));
            return json(m ? m->payload : QByteArray());
        };
        QCOMPARE(config("sensor", "supply_voltage").value("unit_of_measurement").toString(), "V");
        QCOMPARE(config("number", "ch3_duty").value("command_topic").toString(),
            topic(2, "set") + "/ch3.duty");
        QCOMPARE(config("switch", "key_lock").value("state_topic").toString(), topic(2, "state"));
        QCOMPARE(config("number", "channel").value("max").toDouble(), 5.0);
    }
};

QTEST_GUILESS_MAIN(TestBridge)
#include "tst_bridge.moc"
