#include "device/parameter_value.h"
#include "text/quoted_text.h"

#include <QTest>

using namespace device;
using quoting::quotedValue;

Q_DECLARE_METATYPE(device::Bounds)
Q_DECLARE_METATYPE(device::ValueError)

// Values typed for a parameter by name, as a script or a file gives them.
class ParameterValueTest : public QObject {
    Q_OBJECT

private slots:
    void typed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Bounds>("bounds");
        QTest::addColumn<int>("units");
        QTest::addColumn<ValueError>("error");

        const auto row = [](const char* name, const char* text, Bounds bounds, int units,
                             ValueError error = ValueError::None) {
            QTest::addRow("%s = %s%s", name, text, bounds == Bounds::Clamp ? ", clamped" : "")
                << name << text << bounds << units << error;
        };
        using enum Bounds;
        using enum ValueError;
        // Rounded half away from zero on the decimal as typed, to the parameter's scale.
        row("ch3.duty", "25.55", Strict, 256);
        row("ch3.duty", "-0", Strict, 0);
        row("pwm_voltage", "1.25", Strict, 13);
        // Whole units: a fraction is refused where bounds are strict and rounded as the window
        // rounds it where they are not; zeros after the point are no fraction.
        row("ch1.frequency", "1.5", Strict, 0, NotWhole);
        row("ch1.frequency", "1.5", Clamp, 2);
        row("channel", "4.5", Strict, 0, NotWhole);
        row("channel", "4.5", Clamp, 5);
        row("ch2.frequency", "1000.0001", Strict, 0, NotWhole);
        row("channel", "2.0", Strict, 2);
        row("channel", "2.", Strict, 2);
        row("ch5.frequency", "150000.000", Strict, 150000);
        row("channel", "5.5", Strict, 0, OutOfRange);
        // A bound itself is in range; beyond it by any amount is not, rounding or not.
        row("ch3.duty", "100", Strict, 1000);
        row("ch3.duty", "100.01", Strict, 0, OutOfRange);
        row("ch3.duty", "100.01", Clamp, 1000);
        row("pwm_voltage", "24.04", Strict, 0, OutOfRange);
        row("pwm_voltage", "24.04", Clamp, 240);
        row("pwm_voltage", "0.96", Strict, 0, OutOfRange);
        row("pwm_voltage", "0.96", Clamp, 10);
        row("ch5.frequency", "150000", Strict, 150000);
        row("ch5.frequency", "150000.4", Strict, 0, OutOfRange);
        row("ch1.frequency", "0", Clamp, 1);
        row("ch3.duty", "99999999999999999999", Clamp, 1000);
        row("ch3.duty", "abc", Strict, 0, Unreadable);
        row("ch3.duty", "", Strict, 0, Unreadable);
        // Switches and the baud rate take words and rates, not numbers to clamp.
        row("ch2.output", "on", Strict, 1);
        row("ch2.output", "true", Strict, 1);
        row("key_lock", "off", Strict, 0);
        row("ch2.output", "2", Clamp, 0, Unreadable);
        row("ch2.output", "ON", Strict, 0, Unreadable);
        row("baud_rate", "19200", Strict, 2);
        row("baud_rate", "1200", Clamp, 0, OutOfRange);
        row("baud_rate", "fast", Strict, 0, Unreadable);
        row("supply_voltage", "12", Clamp, 0, NotSettable);
    }

    void typed()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(Bounds, bounds);
        QFETCH(int, units);
        QFETCH(ValueError, error);
        const TypedValue value = typedValue(*parameterNamed(name.toStdString()), text, bounds);
        QCOMPARE(value.error, error);
        QCOMPARE(int(value.units), units);
    }

    void errorText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("said");

        QTest::newRow("voltage too high") << "pwm_voltage"
                                          << "30"
                                          << "pwm_voltage: 30 is outside 1.0 to 24.0 V";
        QTest::newRow("duty negative") << "ch1.duty"
                                       << "-1"
                                       << "ch1.duty: -1 is outside 0.0 to 100.0 %";
        QTest::newRow("not a number") << "ch3.duty"
                                      << "abc"
                                      << "ch3.duty: \"abc\" is not a number";
        QTest::newRow("not a switch word") << "ch1.output"
                                           << "maybe"
                                           << "ch1.output: \"maybe\" is not on or off";
        QTest::newRow("no rate of the module")
            << "baud_rate"
            << "1200"
            << "baud_rate: 1200 is not one of 4800, 9600, 19200, 38400, 57600, 115200";
        QTest::newRow("a fraction of a whole number")
            << "ch1.frequency"
            << "1000.5"
            << "ch1.frequency: 1000.5 has a fraction; ch1.frequency takes whole numbers";
        QTest::newRow("an escape sequence is shown escaped")
            << "ch3.duty"
            << "\x1b[2J"
            << "ch3.duty: \"\\x1b[2J\" is not a number";
        QTest::newRow("a long text is cut")
            << "ch3.duty" << QString(45, u'x') + "1"
            << "ch3.duty: \"" + QString(40, u'x') + "…\" is not a number";
        QTest::newRow("measured") << "supply_voltage"
                                  << "12"
                                  << "supply_voltage is measured by the module and cannot be set";
    }

    void errorText()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, said);
        const Parameter& p = *parameterNamed(name.toStdString());
        QCOMPARE(valueErrorText(p, text, typedValue(p, text, Bounds::Strict).error), said);
    }

    void quoted_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("quoted");

        const QString forty(40, u'7');
        // U+1F600 is two UTF-16 units; half of it is no character.
        const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("40 characters stay whole") << forty << forty;
        QTest::newRow("41 are cut to 40") << forty + u'8' << forty + u'…';
        QTest::newRow("a pair across the cut goes whole")
            << forty.left(39) + face << forty.left(39) + u'…';
        QTest::newRow("a pair before the cut stays")
            << forty.left(38) + face + u'8' << forty.left(38) + face + u'…';
        // Control characters as \xNN, C0, DEL and C1; their neighbours and a backslash as given.
        QTest::newRow("ESC") << "\x1b[31mred"
                             << "\\x1b[31mred";
        QTest::newRow("NUL, tab, line feed") << QString(QChar(0)) + "\t\n"
                                             << "\\x00\\x09\\x0a";
        QTest::newRow("DEL and C1")
            << QString::fromUtf8("\x7f\u0080\u009b\u009f") << "\\x7f\\x80\\x9b\\x9f";
        QTest::newRow("blank, tilde, no-break space and a backslash stay")
            << QString::fromUtf8(" ~\u00a0\\") << QString::fromUtf8(" ~\u00a0\\");
        QTest::newRow("an escape that fits the 40 stays")
            << forty.left(36) + u'\x1b' << forty.left(36) + "\\x1b";
        QTest::newRow("the cut comes before an escape, not inside it")
            << forty.left(38) + u'\x1b' << forty.left(38) + u'…';
        QTest::newRow("escapes count as shown")
            << forty.left(36) + u'\x1b' + u'8' << forty.left(36) + "\\x1b…";
    }

    void quoted()
    {
        QFETCH(QString, given);
        QFETCH(QString, quoted);
        QCOMPARE(quotedValue(given), quoted);
    }
};

QTEST_APPLESS_MAIN(ParameterValueTest)
#include "tst_parameter_value.moc"
