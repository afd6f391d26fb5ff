#include "link/hex_trace.h"
#include "link/network_address.h"
#include "link/port_name.h"
#include "link/port_settings.h"
#include "link/probe_outcome.h"
#include "link/receive_buffer.h"
#include "link/reply.h"
#include "support/test_crc.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using line::Verdict;

Q_DECLARE_METATYPE(line::Verdict)
Q_DECLARE_METATYPE(line::ProbeOutcome)
Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

namespace {

const QByteArray kWriteRequest = QByteArray::fromHex("010600110001180F");
const QByteArray kReadRequest = QByteArray::fromHex("01030000001AC401");

// A well-formed read reply of n registers, all 0x0102, with its CRC.
QByteArray readReply(int registers)
{
    QByteArray body = QByteArray::fromHex("0103");
    body.append(char(registers * 2));
    for (int i = 0; i < registers; ++i)
        body.append(QByteArray::fromHex("0102"));
    return testcrc::withCrc(body);
}

} // namespace

class TestLinkValues : public QObject {
    Q_OBJECT

private slots:
    void hexTrace_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("trace");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("leading zeros and upper case")
            << QByteArray::fromHex("000FA0FF") << QStringLiteral("00 0F A0 FF ");
        QTest::newRow("write frame") << kWriteRequest << QStringLiteral("01 06 00 11 00 01 18 0F ");
    }

    void hexTrace()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, trace);
        QCOMPARE(line::hexTrace(bytes), trace);
        QCOMPARE(line::hexTrace(bytes).size(), 3 * bytes.size());
    }

    void judgeReply_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Verdict>("verdict");

        QTest::newRow("echo of a write") << kWriteRequest << kWriteRequest << Verdict::Accepted;
        for (int registers : { 26, 14, 13, 8, 7, 6, 5, 1 })
            QTest::addRow("read of %d registers", registers)
                << kReadRequest << readReply(registers) << Verdict::Accepted;
        for (int registers : { 2, 3, 4, 9, 18, 25, 27 })
            QTest::addRow("read of %d registers is no accepted size", registers)
                << kReadRequest << readReply(registers) << Verdict::WrongLength;
        QTest::newRow("41 bytes") << kReadRequest << readReply(18) << Verdict::WrongLength;
        QTest::newRow("nothing") << kReadRequest << QByteArray() << Verdict::WrongLength;
        QTest::newRow("one byte") << kReadRequest << QByteArray::fromHex("01")
                                  << Verdict::WrongLength;
        QTest::newRow("exception reply")
            << kWriteRequest << QByteArray::fromHex("0186030261") << Verdict::WrongLength;
        QTest::newRow("extra byte")
            << kWriteRequest << kWriteRequest + '\0' << Verdict::WrongLength;
        QTest::newRow("other slave")
            << kWriteRequest << QByteArray::fromHex("020600110001180F") << Verdict::WrongHeader;
        QTest::newRow("other function")
            << kWriteRequest << QByteArray::fromHex("010300110001180F") << Verdict::WrongHeader;
        QTest::newRow("read reply to a write")
            << kWriteRequest << readReply(26) << Verdict::WrongHeader;
        QByteArray corrupted = readReply(26);
        corrupted[20] = char(corrupted[20] ^ 0x40);
        QTest::newRow("corrupted data") << kReadRequest << corrupted << Verdict::BadCrc;
        QTest::newRow("crc bytes swapped")
            << kWriteRequest << QByteArray::fromHex("0106001100010F18") << Verdict::BadCrc;
    }

    void judgeReply()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(Verdict, verdict);
        QCOMPARE(line::judgeReply(request, reply, reply.size()), verdict);
    }

    void bufferKeepsCountingPastItsCapacity()
    {
        line::ReceiveBuffer buffer;
        const QByteArray noise(1000, '\x55');
        for (int i = 0; i < 10'000; ++i)
            buffer.append(noise);
        QCOMPARE(buffer.bytes().size(), line::ReceiveBuffer::kCapacity);
        QCOMPARE(buffer.total(), 10'000'000);
        QCOMPARE(
            line::judgeReply(kWriteRequest, buffer.bytes(), buffer.total()), Verdict::WrongLength);
        buffer.clear();
        buffer.append(kWriteRequest);
        QCOMPARE(
            line::judgeReply(kWriteRequest, buffer.bytes(), buffer.total()), Verdict::Accepted);
    }

    void parseSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("baud");
        QTest::addColumn<char>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::newRow("start-up values") << "9600,N,8,1" << true << 9600 << 'N' << 8 << 1;
        QTest::newRow("even, 7 bits, 2 stops") << "115200,E,7,2" << true << 115200 << 'E' << 7 << 2;
        QTest::newRow("odd, 6 bits") << "4800,O,6,1" << true << 4800 << 'O' << 6 << 1;
        QTest::newRow("typed baud") << "abc,N,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("empty baud") << ",N,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("zero baud") << "0,N,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("negative baud") << "-9600,N,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("baud with blank") << "9600 ,N,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("huge baud") << "99999999999,N,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("no parity letter yet") << "9600,,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("four bits") << "9600,N,4,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("five bits") << "9600,N,5,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("a parity word") << "9600,None,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("a lower-case letter") << "9600,e,8,1" << false << 0 << 'N' << 0 << 0;
        QTest::newRow("three stops") << "9600,N,8,3" << false << 0 << 'N' << 0 << 0;
    }

    void parseSettings()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto parsed = line::parseSettings(text);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QFETCH(int, baud);
        QFETCH(char, parity);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QCOMPARE(*parsed, (line::PortSettings { baud, parity, dataBits, stopBits }));
    }

    void parityLetterFollowsTheListAndKeepsTheLastOtherwise()
    {
        QCOMPARE(line::parityLetter(QStringLiteral("无校验"), QString()), QStringLiteral("N"));
        QCOMPARE(
            line::parityLetter(QStringLiteral("奇校验"), QStringLiteral("N")), QStringLiteral("O"));
        QCOMPARE(
            line::parityLetter(QStringLiteral("偶校验"), QStringLiteral("N")), QStringLiteral("E"));
        QCOMPARE(
            line::parityLetter(QStringLiteral("无"), QStringLiteral("O")), QStringLiteral("O"));
        QCOMPARE(line::settingsString("9600", "N", "8", "1"), QStringLiteral("9600,N,8,1"));
    }

    // Each parity by each of its names, and the names of no parity.
    void parities_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<char>("letter"); // 0: no parity has the name

        QTest::newRow("none") << "none" << 'N';
        QTest::newRow("odd") << "odd" << 'O';
        QTest::newRow("even") << "even" << 'E';
        QTest::newRow("无校验") << "无校验" << 'N';
        QTest::newRow("奇校验") << "奇校验" << 'O';
        QTest::newRow("偶校验") << "偶校验" << 'E';
        QTest::newRow("mark") << "mark" << '\0';
        QTest::newRow("Even") << "Even" << '\0';
        QTest::newRow("empty") << "" << '\0';
    }

    void parities()
    {
        QFETCH(QString, name);
        QFETCH(char, letter);
        // The window's texts are Chinese, the command line's words are not.
        const bool windowText = !name.isEmpty() && name.at(0) > u'z';
        const auto parity = windowText ? line::parityOfWindowText(name) : line::parityOfWord(name);
        QCOMPARE(parity ? parity->letter : '\0', letter);
        if (parity)
            QCOMPARE(line::parityOfLetter(letter)->word, parity->word);
    }

    void systemPortOrder()
    {
        const QStringList ordered = line::orderedSystemPorts({ "/dev/ttyS1", "/dev/ttyUSB10",
            "/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyAMA0" });
        QCOMPARE(ordered,
            QStringList({ "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyAMA0",
                "/dev/ttyS0", "/dev/ttyS1" }));
    }

    void resolvePort_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected"); // "@x" stands for the file x in the folder
        QTest::newRow("no selection") << 0 << QString();
#ifdef Q_OS_WIN
        // The system's own COMn, whatever the folder holds.
        QTest::newRow("COM1") << 1 << "COM1";
        QTest::newRow("COM9") << 9 << "COM9";
        return;
#endif
        QTest::newRow("link in the working folder wins") << 1 << "@target";
        QTest::newRow("dangling link stays a path that fails to open") << 2 << "@COM2";
        QTest::newRow("second system port") << 3 << "/dev/ttyS0";
        QTest::newRow("a file naming a device server") << 4 << "rfc2217:cabinet-7:4001";
        QTest::newRow("a file of other words stays a path") << 5 << "@COM5";
        QTest::newRow("a link to a file naming a server names the file") << 6 << "@COM4";
        QTest::newRow("beyond the system's ports") << 9 << QString();
    }

    void resolvePort()
    {
        QFETCH(int, n);
        QFETCH(QString, expected);
        QTemporaryDir dir;
#ifdef Q_OS_WIN
        QCOMPARE(line::resolvePort(n, QDir(dir.path()), { "COM4" }), expected);
        return;
#endif
        QFile target(dir.filePath("target"));
        QVERIFY(target.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(dir.filePath("target"), dir.filePath("COM1")));
        QVERIFY(QFile::link(dir.filePath("absent"), dir.filePath("COM2")));
        const auto write = [&](const char* name, const QByteArray& content) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        QVERIFY(write("COM4", " rfc2217:cabinet-7:4001\r\nignored\n"));
        QVERIFY(write("COM5", "hello\n"));
        QVERIFY(QFile::link(dir.filePath("COM4"), dir.filePath("COM6")));
        if (line::namesNetworkLine(expected)) {
            QCOMPARE(line::resolvePort(n, QDir(dir.path()), {}), expected);
            return;
        }
        if (expected.startsWith('@'))
            expected = QFileInfo(dir.filePath(expected.mid(1))).absoluteFilePath();
        const QString resolved = line::resolvePort(
            n, QDir(dir.path()), { "/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0" });
        QCOMPARE(QFileInfo(resolved).absoluteFilePath(), QFileInfo(expected).absoluteFilePath());
        QCOMPARE(resolved.isEmpty(), expected.isEmpty());
    }

    void networkAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // "raw|host|port", "rfc2217|host|port" or the error
        QTest::newRow("raw") << "tcp:cabinet-7:4001"
                             << "raw|cabinet-7|4001";
        QTest::newRow("rfc2217") << "rfc2217:10.0.0.7:65535"
                                 << "rfc2217|10.0.0.7|65535";
        QTest::newRow("IPv6 in brackets") << "tcp:[::1]:1"
                                          << "raw|::1|1";
        QTest::newRow("IPv6 bare") << "tcp:::1:4001"
                                   << "an IPv6 host goes in brackets, [::1]";
        QTest::newRow("no port") << "tcp:cabinet"
                                 << "no :PORT after the host";
        QTest::newRow("no host") << "rfc2217::4001"
                                 << "no host before :PORT";
        QTest::newRow("port 0") << "tcp:h:0"
                                << "port \"0\" is not 1 to 65535";
        QTest::newRow("port too big") << "tcp:h:65536"
                                      << "port \"65536\" is not 1 to 65535";
        QTest::newRow("port with a sign") << "tcp:h:+40"
                                          << "port \"+40\" is not 1 to 65535";
        QTest::newRow("a path in the host") << "tcp:a/b:1"
                                            << "\"a/b\" is not a host name";
        QTest::newRow("another scheme") << "udp:h:1"
                                        << "not tcp:HOST:PORT or rfc2217:HOST:PORT";
        QTest::newRow("upper case is no scheme") << "TCP:h:1"
                                                 << "not tcp:HOST:PORT or rfc2217:HOST:PORT";
    }

    void networkAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        const line::ParsedAddress result = line::parseNetworkAddress(text);
        if (!result.address) {
            QCOMPARE(result.error, parsed);
            return;
        }
        const line::NetworkAddress& a = *result.address;
        const QString kind = a.protocol == line::NetworkAddress::Protocol::Raw ? "raw" : "rfc2217";
        QCOMPARE(QStringList({ kind, a.host, QString::number(a.port) }).join('|'), parsed);
        QCOMPARE(line::namesNetworkLine(text), true);
        QCOMPARE(line::keepsServerRate(text), kind == "raw");
    }

    // What the operator is told, and what the terminal and the port list add.
    void probeOutcome_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<QString>("systemText");
        QTest::addColumn<QString>("group");
        QTest::addColumn<line::ProbeOutcome>("outcome");
        QTest::addColumn<QString>("reason"); // empty: not asked
        using O = line::ProbeOutcome;
        const auto row
            = [](const char* name, QSerialPort::SerialPortError error, bool accessible,
                  const char* systemText, const char* group, O outcome, const char* reason) {
                  QTest::newRow(name) << error << accessible << QString(systemText)
                                      << QString(group) << outcome << QString(reason);
              };
        row("usable", QSerialPort::NoError, true, "", "", O::Usable, "");
        row("missing", QSerialPort::DeviceNotFoundError, false, "No such file or directory", "",
            O::Missing, "no such device");
        row("locked by another program", QSerialPort::PermissionError, true,
            "Permission error while locking the device", "dialout", O::Busy,
            "in use by another program");
        row("permission denied", QSerialPort::PermissionError, false, "Permission denied",
            "dialout", O::OtherFailure,
            "permission denied (the user is not in the group that owns the device, dialout)");
        row("permission denied, group unknown", QSerialPort::PermissionError, false,
            "Permission denied", "", O::OtherFailure,
            "permission denied (the user is not in the group that owns the device, usually "
            "dialout)");
        row("already open", QSerialPort::OpenError, true, "Device is already open", "", O::Busy,
            "already open");
        row("not a tty", QSerialPort::UnsupportedOperationError, true,
            "Inappropriate ioctl for device", "", O::OtherFailure,
            "inappropriate ioctl for device");
        row("directory", QSerialPort::UnknownError, true, "Is a directory", "", O::OtherFailure,
            "is a directory");
    }

    void probeOutcome()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, accessible);
        QFETCH(QString, systemText);
        QFETCH(QString, group);
        QFETCH(line::ProbeOutcome, outcome);
        QFETCH(QString, reason);
        QCOMPARE(line::probeOutcome(error, accessible), outcome);
        if (!reason.isEmpty())
            QCOMPARE(line::probeReason(error, systemText, accessible, group), reason);
    }
};

QTEST_GUILESS_MAIN(TestLinkValues)
#include "tst_link_values.moc"
