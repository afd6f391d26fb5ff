#include "frmmain/frmmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pwm5"));
    frmmain window;
    window.show();
    return QApplication::exec();
}
