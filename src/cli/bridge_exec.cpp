// bridge in pwm5ctl: the bridge is a program of its own, pwm5-bridge, which links Qt's network
// library for its TCP faces; pwm5ctl, which every call of a script starts, does not. The call
// becomes that program, with the same arguments and the same process id, so that a service
// manager or a script that signals it reaches the bridge itself.

#include "commands.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>

#include <cstdio>
#include <vector>

namespace cli {

CommandFunction bridgeInProcess = nullptr;

int bridgeCommand(const Invocation& call, Console& console)
{
    if (bridgeInProcess)
        return bridgeInProcess(call, console);
    const QString here = QCoreApplication::applicationDirPath();
    // Beside pwm5ctl in a build tree; in the package's private folder, as the libraries are.
    for (const QString& path : { here + QStringLiteral("/pwm5-bridge"),
             here + QStringLiteral("/../lib/pwm5/pwm5-bridge") }) {
        if (!QFileInfo(path).isExecutable())
            continue;
        const QByteArray program = QFile::encodeName(path);
        std::vector<QByteArray> arguments { program };
        for (const QString& argument : QCoreApplication::arguments().sliced(1))
            arguments.push_back(argument.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        console.out.flush();
        console.err.flush();
        std::fflush(nullptr);
        ::execv(program.constData(), argv.data());
    }
    return console.say(Report::plain(kPortUnusable,
        QStringLiteral("this installation has no pwm5-bridge beside pwm5ctl to run the bridge")));
}

} // namespace cli
