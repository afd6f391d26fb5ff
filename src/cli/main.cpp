#include "cli/commands.h"
#include "cli/invocation.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pwm5ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PWM5_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::Console console { out, err };

    const cli::Parsed parsed = cli::parsedInvocation(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case cli::Parsed::Outcome::Help:
    case cli::Parsed::Outcome::Version:
        out << parsed.text << Qt::flush;
        return cli::kDone;
    case cli::Parsed::Outcome::Wrong:
        return console.fail(cli::kWrongCall, parsed.text);
    case cli::Parsed::Outcome::Run:
        break;
    }
    return cli::commandNamed(parsed.invocation.command)(parsed.invocation, console);
}
