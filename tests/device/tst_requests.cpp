#include "device/parameter_set.h"
#include "device/requests.h"
#include "device/write_all.h"
#include "modbus/crc16.h"

#include <QTest>

using namespace device;

namespace {

// The frame a toggle's click sends: the state flipped from before, to the slave typed.
QByteArray clickFrame(const char* name, const QString& slaveText, std::int16_t before)
{
    const auto state = static_cast<std::uint16_t>(flipped(before));
    return writeRequest(device::slaveAddress(slaveText).value(), *parameterNamed(name), state);
}

QByteArray baudChange(const QString& combo6Text)
{
    return writeRequest(1, parameter(ParameterId::BaudRate),
        static_cast<Units>(device::baudRateCode(combo6Text, 0)));
}

} // namespace

class RequestsTest : public QObject {
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("frame");

        QTest::newRow("read all, slave 1") << readAllRequest(1) << "01 03 00 00 00 1A C4 01";
        QTest::newRow("CH1 output, first click")
            << clickFrame("ch1.output", "1", 0) << "01 06 00 11 00 01 18 0F";
        QTest::newRow("CH1 output, second click")
            << clickFrame("ch1.output", "1", 1) << "01 06 00 11 00 00 D9 CF";
        QTest::newRow("key lock, first click")
            << clickFrame("key_lock", "1", 0) << "01 06 00 17 00 01 F8 0E";
        QTest::newRow("CH2 output, slave 10")
            << clickFrame("ch2.output", "10", 0) << "0A 06 00 12 00 01 E9 74";
        QTest::newRow("baud 19200") << baudChange("19200") << "01 06 00 18 00 02 88 0C";
        QTest::newRow("baud 115200") << baudChange("115200") << "01 06 00 18 00 05 C9 CE";
        // A frequency spans two registers, so it goes out as Write Multiple Registers.
        QTest::newRow("CH5 150000 Hz") << writeRequest(1, parameter(ParameterId::Ch5Frequency),
            150000) << "01 10 00 0A 00 02 04 00 02 49 F0 E5 C4";
        QTest::newRow("CH1 1 Hz") << writeRequest(1, parameter(ParameterId::Ch1Frequency), 1)
                                  << "01 10 00 02 00 02 04 00 00 00 01 B3 B6";
        QTest::newRow("PWM 24.0 V") << writeRequest(1, parameter(ParameterId::PwmVoltage), 240)
                                    << "01 06 00 01 00 F0 D8 4E";
        QTest::newRow("address change to 2")
            << addressChangeRequest(device::slaveAddress("2").value()) << "00 06 00 00 00 02 09 DA";

        const auto empty = normalisedWriteAll({}, "9600", ParameterSet {});
        QTest::newRow("write all, twelve empty fields")
            << (empty ? writeAllRequest(1, empty->registers) : QByteArray())
            << "01 10 00 01 00 18 30 00 32 00 00 00 02 00 00 00 0A 00 00 07 D0 00 00 27 10 00 02 "
               "49 F0 01 F4 01 F4 01 F4 01 F4 01 F4 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 "
               "01 35 ED";
    }

    void frames()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, frame);
        QCOMPARE(modbus::framed(request).toHex(' ').toUpper(), frame.toLatin1());
    }

    void slaveAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("address"); // -1: refused

        QTest::newRow("0") << "0" << 0;
        QTest::newRow("255") << "255" << 255;
        QTest::newRow("leading zeros") << "010" << 10;
        QTest::newRow("256") << "256" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("leading blank") << " 5" << -1;
        QTest::newRow("trailing blank") << "5 " << -1;
        QTest::newRow("sign") << "+5" << -1;
        QTest::newRow("decimal") << "1.0" << -1;
        QTest::newRow("fullwidth digit") << QString(QChar(0xFF15)) << -1;
        QTest::newRow("twenty digits") << "99999999999999999999" << -1;
    }

    void slaveAddress()
    {
        QFETCH(QString, text);
        QFETCH(int, address);
        const std::optional<std::uint8_t> parsed = device::slaveAddress(text);
        QCOMPARE(parsed ? int(*parsed) : -1, address);
    }

    void baudRateCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("code");

        QTest::newRow("4800") << "4800" << 3 << 0;
        QTest::newRow("9600") << "9600" << 0 << 1;
        QTest::newRow("57600") << "57600" << 0 << 4;
        QTest::newRow("115200") << "115200" << 0 << 5;
        QTest::newRow("not a rate keeps 3") << "1200" << 3 << 3;
        QTest::newRow("trailing blank keeps 2") << "9600 " << 2 << 2;
        QTest::newRow("empty keeps 0") << "" << 0 << 0;
    }

    void baudRateCode()
    {
        QFETCH(QString, text);
        QFETCH(int, previous);
        QFETCH(int, code);
        QCOMPARE(device::baudRateCode(text, static_cast<std::int16_t>(previous)), code);
    }
};

QTEST_APPLESS_MAIN(RequestsTest)
#include "tst_requests.moc"
