// pwm5's own arguments and a start without a display, as a user meets them: the real program,
// its output, its exit status, and whether it left a settings file behind.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A display number no X server listens on here.
QString absentDisplay()
{
    for (int n = 90;; ++n)
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return QStringLiteral(":%1").arg(n);
}

} // namespace

class tst_command_line : public QObject {
    Q_OBJECT

private slots:
    void answersWithoutAWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment"); // NAME=value, or NAME alone to unset it
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // the start of stdout
        QTest::addColumn<QString>("err"); // all of stderr

        const QString unexpected = QStringLiteral(
            "pwm5: unexpected argument '%1' (pwm5 takes only --help or --version)\n");
        const QStringList none;
        QTest::newRow("--help") << QStringList { "--help" } << none << 0
                                << "usage: pwm5 [--help | --version]\n"
                                << "";
        QTest::newRow("-h") << QStringList { "-h" } << none << 0 << "usage: pwm5"
                            << "";
        QTest::newRow("--version")
            << QStringList { "--version" } << none << 0 << "pwm5 " PWM5_VERSION "\n"
            << "";
        QTest::newRow("a word") << QStringList { "COM3" } << none << 2 << ""
                                << unexpected.arg("COM3");
        QTest::newRow("help and more")
            << QStringList { "--help", "x" } << none << 2 << "" << unexpected.arg("x");
        QTest::newRow("Qt's own option") << QStringList { "-platform", "offscreen" } << none << 2
                                         << "" << unexpected.arg("-platform");
        QTest::newRow("no DISPLAY")
            << QStringList {} << QStringList { "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY" }
            << 1 << ""
            << "pwm5: no usable display: DISPLAY is not set\n";
        const QString display = absentDisplay();
        QTest::newRow("no X server there")
            << QStringList {}
            << QStringList { "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY=" + display } << 1 << ""
            << "pwm5: no usable display: could not connect to display " + display + "\n";
        QTest::newRow("no such platform plugin")
            << QStringList {} << QStringList { "QT_QPA_PLATFORM=nowhere" } << 1 << ""
            << "pwm5: no usable display: Could not find the Qt platform plugin \"nowhere\" in "
               "\"\"\n";
    }

    void answersWithoutAWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& setting : environment) {
            const qsizetype eq = setting.indexOf(QLatin1Char('='));
            if (eq < 0)
                env.remove(setting);
            else
                env.insert(setting.left(eq), setting.mid(eq + 1));
        }
        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PWM5_PATH), arguments);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QTEST(program.exitCode(), "exitCode");
        const QString printed = QString::fromLocal8Bit(program.readAllStandardOutput());
        QFETCH(QString, out);
        QVERIFY2(out.isEmpty() ? printed.isEmpty() : printed.startsWith(out), qPrintable(printed));
        QTEST(QString::fromLocal8Bit(program.readAllStandardError()), "err");
        // Nothing was asked of the window, so nothing is stored.
        QCOMPARE(
            QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList {});
    }
};

QTEST_GUILESS_MAIN(tst_command_line)
#include "tst_command_line.moc"
