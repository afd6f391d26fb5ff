#include "support/mqtt_broker.h"
#include "support/mqtt_probe.h"

#include <QTemporaryDir>
#include <QTest>

// The broker and the probe that the bridge's tests stand on: what they let through and what
// they refuse, the retain flag as a subscriber sees it, and a broker that goes and comes back
// on its port.

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
const QString kUser = QString::fromLatin1(MqttBroker::kUser);
const QString kPassword = QString::fromLatin1(MqttBroker::kPassword);

enum class Listener { Plain, Tls };
enum class Ca { None, Own, Other };
enum class Outage { Restart, KillThenRestart };

// A broker in a folder of the test's own.
struct Plant {
    QTemporaryDir dir;
    MqttBroker broker;

    QString start() { return broker.start(dir.path()) ? QString() : broker.output(); }
    bool connect(MqttProbe& probe) { return probe.connect(kHost, broker.port(), kUser, kPassword); }
};

QString described(const std::optional<MqttMessage>& message)
{
    if (!message)
        return QStringLiteral("none");
    return QStringLiteral("'%1' qos %2%3")
        .arg(QString::fromUtf8(message->payload))
        .arg(message->qos)
        .arg(message->retained ? " retained" : "");
}

} // namespace

Q_DECLARE_METATYPE(Listener)
Q_DECLARE_METATYPE(Ca)
Q_DECLARE_METATYPE(Outage)

class TestMqttFixture : public QObject {
    Q_OBJECT

private slots:
    // A subscriber that comes after a retained message gets it flagged; one that was there
    // when it was published gets it as it came, unflagged. The QoS is the lower of the
    // publication's and the subscription's (2 here).
    void retainFlagAsReceived_data()
    {
        QTest::addColumn<int>("qos");
        QTest::addColumn<bool>("retain");
        QTest::addColumn<bool>("subscribeFirst");
        QTest::addColumn<bool>("retained");

        QTest::newRow("retained, subscribed later") << 1 << true << false << true;
        QTest::newRow("retained at QoS 2, subscribed later") << 2 << true << false << true;
        QTest::newRow("retained, subscribed before") << 1 << true << true << false;
        QTest::newRow("plain at QoS 0, subscribed before") << 0 << false << true << false;
        QTest::newRow("plain at QoS 2, subscribed before") << 2 << false << true << false;
    }
    void retainFlagAsReceived()
    {
        QFETCH(int, qos);
        QFETCH(bool, retain);
        QFETCH(bool, subscribeFirst);
        QFETCH(bool, retained);
        Plant plant;
        const QString started = plant.start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        MqttProbe publisher;
        MqttProbe subscriber;
        QVERIFY2(plant.connect(publisher), qPrintable(publisher.error()));
        QVERIFY2(plant.connect(subscriber), qPrintable(subscriber.error()));
        const QString topic = QStringLiteral("pwm5/line1/state");
        if (subscribeFirst)
            QVERIFY2(subscriber.subscribe("pwm5/#", 2), qPrintable(subscriber.error()));
        QVERIFY2(publisher.publish(topic, "on", qos, retain), qPrintable(publisher.error()));
        if (!subscribeFirst)
            QVERIFY2(subscriber.subscribe("pwm5/#", 2), qPrintable(subscriber.error()));

        QVERIFY(subscriber.waitFor([&] { return subscriber.last(topic).has_value(); }));
        const MqttMessage got = *subscriber.last(topic);
        QCOMPARE(got.payload, QByteArray("on"));
        QCOMPARE(got.retained, retained);
        QCOMPARE(got.qos, qos);
        QCOMPARE(subscriber.messages(topic).size(), 1);
    }

    // Only the user of the password file, with its password, is let in.
    void credentials_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("the user and password") << kUser << kPassword << true;
        QTest::newRow("wrong password") << kUser << QStringLiteral("secreT") << false;
        QTest::newRow("no password") << kUser << QString() << false;
        QTest::newRow("another user") << QStringLiteral("pwm6") << kPassword << false;
        QTest::newRow("anonymous") << QString() << QString() << false;
    }
    void credentials()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        Plant plant;
        const QString started = plant.start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        MqttProbe probe;
        QCOMPARE(probe.connect(kHost, plant.broker.port(), user, password), accepted);
        QCOMPARE(probe.isConnected(), accepted);
        if (!accepted) {
            QVERIFY2(probe.error().contains("not authori"), qPrintable(probe.error()));
            QVERIFY2(plant.broker.waitForOutput("disconnected, not authorised"),
                qPrintable(plant.broker.output()));
        }
    }

    // The TLS listener speaks TLS alone, with a certificate that the test CA signed for the
    // address and the name; the plain one speaks no TLS.
    void tls_data()
    {
        QTest::addColumn<Listener>("listener");
        QTest::addColumn<QString>("host");
        QTest::addColumn<Ca>("ca");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("brokerSays"); // in its log, why the connection ended

        const QString localhost = QStringLiteral("localhost");
        QTest::newRow("TLS, the test CA") << Listener::Tls << kHost << Ca::Own << true << "";
        QTest::newRow("TLS, the test CA, by name")
            << Listener::Tls << localhost << Ca::Own << true << "";
        QTest::newRow("TLS, an unrelated CA")
            << Listener::Tls << kHost << Ca::Other << false << "alert unknown ca";
        QTest::newRow("TLS port, no TLS")
            << Listener::Tls << kHost << Ca::None << false << "wrong version number";
        QTest::newRow("plain port, TLS")
            << Listener::Plain << kHost << Ca::Own << false << "protocol error";
    }
    void tls()
    {
        QFETCH(Listener, listener);
        QFETCH(QString, host);
        QFETCH(Ca, ca);
        QFETCH(bool, accepted);
        QFETCH(QString, brokerSays);
        Plant plant;
        const QString started = plant.start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const quint16 port
            = listener == Listener::Tls ? plant.broker.tlsPort() : plant.broker.port();
        const QString caFile = ca == Ca::Own ? plant.broker.caFile()
            : ca == Ca::Other                ? plant.broker.otherCaFile()
                                             : QString();
        MqttProbe probe;
        QCOMPARE(probe.connect(host, port, kUser, kPassword, caFile), accepted);
        if (!accepted) {
            QVERIFY2(plant.broker.waitForOutput(brokerSays), qPrintable(plant.broker.output()));
            return;
        }
        // The encrypted connection carries messages both ways.
        QVERIFY2(probe.subscribe("pwm5/tls"), qPrintable(probe.error()));
        QVERIFY2(probe.publish("pwm5/tls", "through", 1), qPrintable(probe.error()));
        QVERIFY(probe.waitFor([&] { return probe.last("pwm5/tls").has_value(); }));
        QCOMPARE(probe.last("pwm5/tls")->payload, QByteArray("through"));
    }

    // A broker that goes comes back on the same ports: a new client connects there, on both
    // listeners, and a probe that was connected reconnects by itself and subscribes again.
    // While it is away nothing connects. Nothing it held survives.
    void backOnItsPorts_data()
    {
        QTest::addColumn<Outage>("outage");

        QTest::newRow("restart") << Outage::Restart;
        QTest::newRow("killed, then restarted") << Outage::KillThenRestart;
    }
    void backOnItsPorts()
    {
        QFETCH(Outage, outage);
        Plant plant;
        const QString started = plant.start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const quint16 port = plant.broker.port();
        const quint16 tlsPort = plant.broker.tlsPort();
        MqttProbe watcher;
        QVERIFY2(plant.connect(watcher), qPrintable(watcher.error()));
        QVERIFY2(watcher.subscribe("pwm5/#"), qPrintable(watcher.error()));
        {
            MqttProbe publisher;
            QVERIFY2(plant.connect(publisher), qPrintable(publisher.error()));
            QVERIFY(publisher.publish("pwm5/before", "kept until the broker goes", 1, true));
        }

        if (outage == Outage::KillThenRestart) {
            plant.broker.kill();
            QVERIFY(!plant.broker.isRunning());
            QVERIFY(watcher.waitFor([&] { return !watcher.isConnected(); }));
            MqttProbe refused;
            QVERIFY(!plant.connect(refused));
        }
        QVERIFY2(plant.broker.restart(), qPrintable(plant.broker.output()));
        QCOMPARE(plant.broker.port(), port);
        QCOMPARE(plant.broker.tlsPort(), tlsPort);

        MqttProbe again;
        QVERIFY2(plant.connect(again), qPrintable(again.error()));
        MqttProbe tls;
        QVERIFY2(tls.connect(kHost, tlsPort, kUser, kPassword, plant.broker.caFile()),
            qPrintable(tls.error()));
        // Retained, so that the watcher has it whether it subscribes again before or after.
        QVERIFY(again.publish("pwm5/after", "back", 1, true));
        QVERIFY2(watcher.waitFor([&] { return watcher.last("pwm5/after").has_value(); }),
            qPrintable(QStringLiteral("connections %1, last %2")
                           .arg(watcher.connections())
                           .arg(described(watcher.last("pwm5/after")))));
        QCOMPARE(watcher.connections(), 2);
        QCOMPARE(watcher.messages("pwm5/before").size(), 1);

        // The broker hands a subscription's retained messages over before it takes the next
        // SUBSCRIBE: once "after" is there, a "before" it kept would be too.
        MqttProbe late;
        QVERIFY2(plant.connect(late), qPrintable(late.error()));
        QVERIFY(late.subscribe("pwm5/before"));
        QVERIFY(late.subscribe("pwm5/after"));
        QVERIFY(late.waitFor([&] { return late.last("pwm5/after").has_value(); }));
        QVERIFY(!late.last("pwm5/before").has_value());
    }
};

QTEST_GUILESS_MAIN(TestMqttFixture)
#include "tst_mqtt_fixture.moc"
