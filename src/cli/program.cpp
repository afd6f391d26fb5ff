#include "cli/program.h"

#include "cli/commands.h"
#include "cli/invocation.h"
#include "cli/stop_signals.h"
#include "cli/terminal.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Qt's own warnings ("QIODevice::read: device not open") are no words for a script's log:
// every failure that matters is said in pwm5ctl's own line.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "pwm5ctl: %s\n", qPrintable(message));
    std::abort();
}

// A script on a full disk or behind a closed pipe must not take an empty output for success.
int checkedOutput(cli::Console& console, int status, cli::Stop stop)
{
    console.out.flush();
    const bool failed = console.out.status() != QTextStream::Ok || std::fflush(stdout) != 0
        || std::ferror(stdout) != 0;
    if (!failed || stop == cli::Stop::BrokenPipe)
        return status;
    const auto* file = qobject_cast<const QFile*>(console.out.device());
    console.say(cli::Report::plain(cli::kModuleFault,
        QStringLiteral("could not write to standard output (%1)")
            .arg(file ? file->errorString() : QStringLiteral("unknown error"))));
    return std::max<int>(status, cli::kModuleFault);
}

} // namespace

namespace cli {

int runProgram(int argc, char* argv[])
{
    cli::openClosedStandardStreams();
    qInstallMessageHandler(quietQt);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pwm5ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PWM5_VERSION));
    const cli::StopSignals stops;
    QFile standardOutput;
    standardOutput.open(stdout, QIODevice::WriteOnly);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    cli::Console console { out, err };

    const cli::Parsed parsed = cli::parsedInvocation(QCoreApplication::arguments());
    // As the parser read it; a call refused before its options were all read guesses from
    // the words.
    console.json = parsed.outcome == cli::Parsed::Outcome::Run
        ? parsed.invocation.json
        : parsed.invocation.json || QCoreApplication::arguments().contains(QLatin1String("--json"));
    for (const QString& note : parsed.invocation.notes)
        err << "pwm5ctl: " << note << Qt::endl;
    int status = cli::kDone;
    switch (parsed.outcome) {
    case cli::Parsed::Outcome::Help:
    case cli::Parsed::Outcome::Version:
        out << parsed.text;
        break;
    case cli::Parsed::Outcome::Wrong:
        status = console.say(cli::Report::refused(parsed.text));
        break;
    case cli::Parsed::Outcome::Run:
        status = cli::commandOf(*parsed.invocation.command)(parsed.invocation, console);
        break;
    }
    // A signal that came with the last write (a closed pipe) is heard before the output is
    // judged: it is no failure of the output.
    QCoreApplication::processEvents();
    status = checkedOutput(console, status, stops.stop());
    // Ended by a signal: as a shell reports it, after the output. A service (the bridge) is one
    // that SIGTERM and SIGINT end in the normal way.
    const bool service = parsed.invocation.command
        && cli::commandEntry(*parsed.invocation.command).service
        && stops.stop() != cli::Stop::BrokenPipe;
    return stops.stop() == cli::Stop::None || service ? status : cli::exitStatusOf(stops.stop());
}

} // namespace cli
