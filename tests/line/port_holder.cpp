// Holds a serial device open from a second process until its standard input closes.
#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QSerialPort port;
    port.setPortName(QString::fromLocal8Bit(argv[1]));
    const bool held = port.open(QIODevice::ReadWrite);
    std::printf("%s\n", held ? "held" : "failed");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    return held ? 0 : 1;
}
