// Times the tool's exchanges against the module simulator, through the real window.
//
// The window runs in this process (the frmmain library) in a folder of its own, where COM1 is
// a pseudo-terminal of ours. A relay thread sits on that terminal's master side and forwards
// each request byte to the simulator's line one character time apart, at the speed and framing
// the window set, and each reply byte back as the simulator paces it; it also sets that speed
// on the simulator's terminal, where the simulator reads it. It stamps, on the clock of the
// clicks, the request leaving the window (the write), its first byte reaching the simulator,
// and the reply's last byte.
//
// For each command the bench clicks the button (QAbstractButton::click: the whole slot, with
// its blocking send wait, runs inside) and waits for the status text (Message_Show). Figures:
// click to the request's first byte at the simulator; write to the status text, split into
// the slot's send wait and the reply timer; write to the reply's last byte.

#include "exchange_report.h"
#include "frmmain/frmmain.h"
#include "relay.h"
#include "support/sim_process.h"
#include "window_driver.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <vector>

using namespace bench;

namespace {

struct Options {
    QString simulator;
    int count = 20;
    QList<int> bauds { 9600, 4800 };
};

// --sim PATH [--count N] [--bauds 9600,4800]; nullopt without a simulator or with no count.
std::optional<Options> parseOptions(const QStringList& args)
{
    Options options;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim"))
            options.simulator = args[i + 1];
        else if (args[i] == QLatin1String("--count"))
            options.count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--bauds")) {
            options.bauds.clear();
            for (const QString& b : args[i + 1].split(QLatin1Char(',')))
                options.bauds << b.toInt();
        }
    }
    if (options.simulator.isEmpty() || options.count < 1)
        return std::nullopt;
    return options;
}

// The simulator as COM1 in a folder of its own; false, with what it said, when it does not
// come up.
bool startSimulator(SimProcess& sim, const QString& dir)
{
    if (sim.start(dir, {}))
        return true;
    std::fprintf(stderr, "the simulator did not start: %s%s\n", qPrintable(sim.output().trimmed()),
        qPrintable(sim.process().errorString()));
    return false;
}

// The relay between the simulator's pseudo-terminal and COM1 in the window's folder.
bool connectRelay(Relay& relay, const QString& simulatorLine, const QString& windowDir)
{
    QString error;
    if (relay.start(simulatorLine, error)
        && QFile::link(relay.linePath(), QDir(windowDir).filePath(QStringLiteral("COM1"))))
        return true;
    std::fprintf(stderr, "relay: %s\n", qPrintable(error));
    return false;
}

void printIntroduction(int count, const Relay& relay)
{
    std::printf("%d exchanges per command after one warm-up; median [min..max]. The write: the "
                "request's first byte on the line.\nread all = Command3, write all = Command2, "
                "toggle = Command4 (CH1 output). Targets: request <= 5 ms after the click, "
                "status 250..270 ms after the write, reply complete before the status.\n"
                "The relay runs %s.\n",
        count, relay.realTime() ? "as a real-time thread" : "at normal priority");
}

// The module changes its rate first, then the window reopens at the new one; false when
// either fails.
bool changeBaud(WindowDriver& driver, int baud)
{
    driver.child<QComboBox>("Combo6")->setCurrentText(QString::number(baud));
    const Sample change = driver.exchange("Command10");
    driver.child<QPushButton>("Command1")->click();
    driver.child<QComboBox>("Combo2")->setCurrentText(QString::number(baud));
    driver.child<QPushButton>("Command1")->click();
    return change.good && driver.portOpen();
}

// Each command count times after one warm-up, a row each; whether all met their targets.
bool measureCommands(WindowDriver& driver, int baud, int count)
{
    printHeader(baud);
    bool allMet = true;
    for (const Command& command : kCommands) {
        driver.exchange(command.button);
        std::vector<Sample> samples;
        for (int i = 0; i < count; ++i)
            samples.push_back(driver.exchange(command.button));
        allMet = report(command, samples) && allMet;
    }
    return allMet;
}

struct WindowRun {
    bool opened = false; // the window opened COM1
    bool ran = true; // every rate was reached, and no message box came up
    bool allMet = true;
};

// The window on COM1, through the relay, at each rate in turn.
WindowRun runWindow(Relay& relay, const Options& options)
{
    WindowRun run;
    frmmain window;
    window.show();
    WindowDriver driver(window, relay);
    WindowDriver::pause(300);
    driver.child<QPushButton>("Command1")->click();
    run.opened = driver.portOpen();
    if (!run.opened) {
        std::fputs("the window could not open COM1\n", stderr);
        return run;
    }
    printIntroduction(options.count, relay);
    int line = 9600;
    for (int baud : options.bauds) {
        if (baud != line) {
            if (!changeBaud(driver, baud)) {
                std::fprintf(stderr, "the change to %d baud failed\n", baud);
                run.ran = false;
                break;
            }
            line = baud;
        }
        run.allMet = measureCommands(driver, baud, options.count) && run.allMet;
    }
    if (driver.messageBoxes() > 0)
        run.ran = false;
    window.close();
    return run;
}

// Stops the simulator; the requests it left unanswered, each also told on stderr.
int stopSimulator(SimProcess& sim)
{
    sim.stop();
    int unanswered = 0;
    for (const QString& l : sim.output().split(QLatin1Char('\n')))
        if (l.contains(QLatin1String("->  none"))) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(l));
            ++unanswered;
        }
    return unanswered;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pwm5"));
    const std::optional<Options> options = parseOptions(QApplication::arguments());
    if (!options) {
        std::fputs("usage: pwm5-exchange-bench --sim PATH/pwm5-sim [--count N] "
                   "[--bauds 9600,4800]\n",
            stderr);
        return 2;
    }

    QTemporaryDir simDir, windowDir;
    SimProcess sim(QFileInfo(options->simulator).absoluteFilePath());
    Relay relay;
    if (!startSimulator(sim, simDir.path())
        || !connectRelay(relay, sim.devicePath(), windowDir.path()))
        return 1;
    QDir::setCurrent(windowDir.path());
    // Figures that miss a target are reported, not failed: the exit status says only whether
    // the bench could run (the simulator answered, no message box came up).
    const WindowRun run = runWindow(relay, *options);
    if (!run.opened)
        return 1;
    const int unanswered = stopSimulator(sim);
    std::printf("simulator: %d requests unanswered; targets %s\n", unanswered,
        run.allMet && run.ran && unanswered == 0 ? "all met" : "NOT all met");
    return run.ran && unanswered == 0 ? 0 : 1;
}
