// The floor of bench/cli: a bare Qt Core program that opens the serial port at 9600 baud, 8N1,
// and exits without a request. Its time from exec to exit is what starting Qt and opening the
// port cost; `pwm5ctl read` adds its exchange with the module to that.

#include <QCoreApplication>
#include <QSerialPort>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pwm5-cli-floor DEVICE\n");
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "pwm5-cli-floor: %s: %s\n", argv[1], qPrintable(port.errorString()));
        return 3;
    }
    port.close();
    return 0;
}
