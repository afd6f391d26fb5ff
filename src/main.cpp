#include "frmmain/command_line.h"
#include "frmmain/frmmain.h"
#include "frmmain/parent_console.h"
#include "frmmain/runtime_dir.h"
#include "frmmain/startup_messages.h"
#include "frmmain/stop_signals.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    useParentConsole();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const StartupRequest request = startupRequest(arguments);
    if (request.action != StartupRequest::Window) {
        const bool refused = request.action == StartupRequest::Refuse;
        std::fputs(request.text.toLocal8Bit().constData(), refused ? stderr : stdout);
        return refused ? 2 : 0;
    }

    providePrivateRuntimeDir();
    std::unique_ptr<QApplication> app;
    {
        const StartupMessages heldUntilTheDisplayIsUp;
        app = std::make_unique<QApplication>(argc, argv);
    }
    QApplication::setApplicationName(QStringLiteral("pwm5"));
    frmmain window;
    closeOnStopSignals(&window);
    window.show();
    return QApplication::exec();
}
