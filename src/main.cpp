#include "frmmain/frmmain.h"
#include "frmmain/stop_signals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pwm5"));
    frmmain window;
    closeOnStopSignals(&window);
    window.show();
    return QApplication::exec();
}
