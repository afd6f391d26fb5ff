#include "ports/port_holder.h"

#include <QTest>

class TestPortHolder : public QObject {
    Q_OBJECT

private slots:
    void lockFileName_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("lock");
        QTest::newRow("a device") << "/dev/ttyUSB0"
                                  << "LCK..ttyUSB0";
        QTest::newRow("a pseudo-terminal") << "/dev/pts/0"
                                           << "LCK..pts_0";
        QTest::newRow("elsewhere") << "/tmp/x/a"
                                   << "LCK.._tmp_x_a";
    }

    void lockFileName()
    {
        QFETCH(QString, device);
        QFETCH(QString, lock);
        QCOMPARE(line::lockFileName(device), lock);
    }

    void heldText_data()
    {
        QTest::addColumn<QString>("lockText");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text"); // empty: no holder
        const QString held = QStringLiteral("in use by another program (%1, process 4242)");
        QTest::newRow("the window") << "4242\npwm5\nhost\n"
                                    << "pwm5\n"
                                    << QStringList { "pwm5" } << held.arg("pwm5");
        QTest::newRow("a bridge with an RTU face")
            << "4242\npwm5ctl\nhost\n"
            << "pwm5-bridge\n"
            << QStringList { "/usr/lib/pwm5/pwm5-bridge", "-p", "/dev/ttyUSB0", "bridge",
                   "--rtu-tcp", "4001" }
            << held.arg("pwm5-bridge")
                + "; the bridge owns the line: reach it through -p tcp:127.0.0.1:4001";
        QTest::newRow("on every interface")
            << "4242\n"
            << "pwm5-bridge" << QStringList { "bridge", "--rtu-tcp=0.0.0.0:4001" }
            << held.arg("pwm5-bridge")
                + "; the bridge owns the line: reach it through -p tcp:127.0.0.1:4001";
        QTest::newRow("on one address")
            << "4242\n"
            << "pwm5-bridge" << QStringList { "bridge", "--rtu-tcp", "10.0.0.5:4001" }
            << held.arg("pwm5-bridge")
                + "; the bridge owns the line: reach it through -p tcp:10.0.0.5:4001";
        QTest::newRow("a bridge without one")
            << "4242\n"
            << "pwm5-bridge" << QStringList { "bridge", "mqtt://broker" }
            << held.arg("pwm5-bridge")
                + "; the bridge owns the line: give it --rtu-tcp PORT to reach the line through "
                  "it, or stop it";
        QTest::newRow("a name with control characters")
            << "4242\n"
            << "evil\x1b[2J" << QStringList() << held.arg("evil\\x1b[2J");
        QTest::newRow("no process id") << "\n"
                                       << "pwm5" << QStringList() << QString();
        QTest::newRow("not a number") << "pwm5\n"
                                      << "pwm5" << QStringList() << QString();
    }

    void heldText()
    {
        QFETCH(QString, lockText);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        const auto holder = line::holderOf(lockText, program, arguments);
        QCOMPARE(holder ? line::heldText(*holder) : QString(), text);
    }
};

QTEST_APPLESS_MAIN(TestPortHolder)
#include "tst_port_holder.moc"
