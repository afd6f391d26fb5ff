#include "ports/line_address.h"
#include "ports/network_address.h"
#include "rtu/hex_trace.h"
#include "rtu/port_settings.h"
#include "rtu/receive_buffer.h"
#include "rtu/reply.h"
#include "support/test_crc.h"
#include "transport/line_faults.h"
#include "transport/socket_faults.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>

#include <string>
#endif

using line::Failure;

Q_DECLARE_METATYPE(line::Failure)
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

#ifdef Q_OS_WIN
// A file's name that no device name stands for: "C:\...\COM4" is the serial port COM4, and Qt
// turns such a name down.
std::wstring fileSystemName(const QString& path)
{
    return (QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(path)).toStdWString();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    const HANDLE file = CreateFileW(fileSystemName(path).c_str(), GENERIC_WRITE, 0, nullptr,
        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, content.constData(), DWORD(content.size()), &written, nullptr)
        && written == DWORD(content.size());
    CloseHandle(file);
    return ok;
}
#endif

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
        QTest::addColumn<Failure>("failure");

        QTest::newRow("echo of a write") << kWriteRequest << kWriteRequest << Failure::None;
        for (int registers : { 26, 14, 13, 8, 7, 6, 5, 1 })
            QTest::addRow("read of %d registers", registers)
                << kReadRequest << readReply(registers) << Failure::None;
        for (int registers : { 2, 3, 4, 9, 18, 25, 27 })
            QTest::addRow("read of %d registers is no accepted size", registers)
                << kReadRequest << readReply(registers) << Failure::WrongLength;
        QTest::newRow("41 bytes") << kReadRequest << readReply(18) << Failure::WrongLength;
        QTest::newRow("nothing") << kReadRequest << QByteArray() << Failure::NoReply;
        QTest::newRow("one byte") << kReadRequest << QByteArray::fromHex("01")
                                  << Failure::WrongLength;
        QTest::newRow("exception reply")
            << kWriteRequest << QByteArray::fromHex("0186030261") << Failure::WrongLength;
        QTest::newRow("extra byte")
            << kWriteRequest << kWriteRequest + '\0' << Failure::WrongLength;
        QTest::newRow("other slave")
            << kWriteRequest << QByteArray::fromHex("020600110001180F") << Failure::WrongSlave;
        QTest::newRow("other function")
            << kWriteRequest << QByteArray::fromHex("010300110001180F") << Failure::WrongFunction;
        QTest::newRow("read reply to a write")
            << kWriteRequest << readReply(26) << Failure::WrongFunction;
        QByteArray corrupted = readReply(26);
        corrupted[20] = char(corrupted[20] ^ 0x40);
        QTest::newRow("corrupted data") << kReadRequest << corrupted << Failure::BadCrc;
        QTest::newRow("crc bytes swapped")
            << kWriteRequest << QByteArray::fromHex("0106001100010F18") << Failure::BadCrc;
    }

    void judgeReply()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(Failure, failure);
        QCOMPARE(line::judgeReply(request, reply, reply.size()), failure);
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
            line::judgeReply(kWriteRequest, buffer.bytes(), buffer.total()), Failure::WrongLength);
        buffer.clear();
        buffer.append(kWriteRequest);
        QCOMPARE(line::judgeReply(kWriteRequest, buffer.bytes(), buffer.total()), Failure::None);
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

    // What a port number stands for: the path that opens it and the label messages name it
    // by ("@x" stands for the file x in the folder), a server's address, or nothing.
    void resolvePortNumber_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("opens"); // empty for a server's line, or none
        QTest::addColumn<QString>("label"); // empty: no line stands for n
        QTest::newRow("no selection") << 0 << QString() << QString();
#ifdef Q_OS_WIN
        // The system's own COMn, unless a file of that name in the folder names a server.
        QTest::newRow("COM1") << 1 << "COM1"
                              << "COM1";
        QTest::newRow("COM9") << 9 << "COM9"
                              << "COM9";
        QTest::newRow("a file naming a device server")
            << 4 << QString() << "rfc2217:cabinet-7:4001";
        QTest::newRow("a file of other words leaves the system's port") << 5 << "COM5"
                                                                        << "COM5";
        QTest::newRow("a folder leaves the system's port") << 6 << "COM6"
                                                           << "COM6";
        QTest::newRow("a server named in UTF-16, as PowerShell writes")
            << 7 << QString() << "tcp:cabinet-7:4001";
        QTest::newRow("an empty file leaves the system's port") << 8 << "COM8"
                                                                << "COM8";
        return;
#endif
        QTest::newRow("link in the working folder wins") << 1 << "@COM1"
                                                         << "@target";
        QTest::newRow("dangling link names where it points") << 2 << "@COM2"
                                                             << "@COM2 -> @absent";
        QTest::newRow("third system port") << 3 << "/dev/ttyS0"
                                           << "/dev/ttyS0";
        QTest::newRow("a file naming a device server")
            << 4 << QString() << "rfc2217:cabinet-7:4001";
        QTest::newRow("a file of other words stays a path") << 5 << "@COM5"
                                                            << "@COM5";
        QTest::newRow("a link to a file naming a server names the file") << 6 << "@COM6"
                                                                         << "@COM4";
        QTest::newRow("beyond the system's ports") << 9 << QString() << QString();
    }

    void resolvePortNumber()
    {
        QFETCH(int, n);
        QFETCH(QString, opens);
        QFETCH(QString, label);
        QTemporaryDir dir;
        const auto inDir = [&dir](QString text) {
            static const QRegularExpression file(QStringLiteral("@(\\w+)"));
            return text.replace(file, dir.path() + QStringLiteral("/\\1"));
        };
#ifdef Q_OS_WIN
        // Qt can neither make nor remove these files: they go before the folder does.
        const auto removeFiles = qScopeGuard([&dir] {
            for (const char* name : { "COM4", "COM5", "COM7", "COM8" })
                DeleteFileW(fileSystemName(dir.filePath(name)).c_str());
            RemoveDirectoryW(fileSystemName(dir.filePath("COM6")).c_str());
        });
        QVERIFY(writeFile(dir.filePath("COM4"), " rfc2217:cabinet-7:4001\r\nignored\n"));
        QVERIFY(writeFile(dir.filePath("COM5"), "hello\n"));
        QVERIFY(CreateDirectoryW(fileSystemName(dir.filePath("COM6")).c_str(), nullptr));
        const QString utf16 = QStringLiteral("\uFEFFtcp:cabinet-7:4001\r\n");
        QVERIFY(writeFile(dir.filePath("COM7"),
            QByteArray(reinterpret_cast<const char*>(utf16.utf16()), 2 * utf16.size())));
        QVERIFY(writeFile(dir.filePath("COM8"), QByteArray()));
#else
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
#endif
        int asked = 0;
        const line::PortContext context { QDir(dir.path()),
            [&asked] {
                ++asked;
                return QStringList { "/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0" };
            } };

        const line::ResolvedLine resolved = line::resolvePortNumber(n, context);
        QCOMPARE(bool(resolved), !label.isEmpty());
        if (!resolved) {
            QCOMPARE(resolved.fault.kind, Failure::Missing);
            return;
        }
        QCOMPARE(resolved.label, inDir(label));
        QCOMPARE(resolved.address->isServer(), opens.isEmpty());
        if (!opens.isEmpty())
            QCOMPARE(resolved.address->devicePath(), inDir(opens));
        // The system is asked for its ports only when nothing in the folder stands for n.
        QCOMPARE(asked, n == 3 ? 1 : 0);
    }

    // The text of -p: a port number, a server's address, or a device.
    void resolveLine_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("resolved"); // "server LABEL", "device PATH" or "KIND: TEXT"
#ifdef Q_OS_WIN
        // Windows' own COMn, whether or not the system has one.
        QTest::newRow("COMn") << "COM2"
                              << "device COM2";
        QTest::newRow("COMn with nothing behind it") << "COM7"
                                                     << "device COM7";
#else
        QTest::newRow("COMn") << "COM2"
                              << "device /dev/ttyB";
        QTest::newRow("COMn with nothing behind it")
            << "COM7"
            << "missing: no serial port stands for this number";
        QTest::newRow("COMn, three digits") << "COM002"
                                            << "device /dev/ttyB";
        QTest::newRow("COM0") << "COM0"
                              << "missing: no serial port stands for this number";
        QTest::newRow("COMn and a final line feed") << "COM2\n"
                                                    << "device /dev/ttyB";
#endif
        // Anything else that starts with COM is a device's path.
        QTest::newRow("COM and four digits") << "COM1000"
                                             << "device COM1000";
        QTest::newRow("COM alone") << "COM"
                                   << "device COM";
        QTest::newRow("COMn and a blank") << "COM2 "
                                          << "device COM2 ";
        QTest::newRow("COMn and two line feeds") << "COM2\n\n"
                                                 << "device COM2\n\n";
        QTest::newRow("COMn behind a letter") << "xCOM2"
                                              << "device xCOM2";
        QTest::newRow("COM and a digit that is not ASCII")
            << QStringLiteral("COM\u0662") << QStringLiteral("device COM\u0662");
        QTest::newRow("a server") << "tcp:[::1]:4001"
                                  << "server tcp:[::1]:4001";
        QTest::newRow("a bad address") << "rfc2217:cabinet"
                                       << "unusable: no :PORT after the host";
        QTest::newRow("a device path") << "/dev/ttyUSB3"
                                       << "device /dev/ttyUSB3";
        QTest::newRow("lower-case com is a path") << "com2"
                                                  << "device com2";
        QTest::newRow("nothing") << ""
                                 << "missing: no port is named";
        // What a name holds reaches the terminal escaped; the path that opens stays as given.
        QTest::newRow("an escape in a path") << "/dev/\x1b[2J"
                                             << "device /dev/\x1b[2J";
        QTest::newRow("an escape in an address") << "tcp:\x1b/2J:1"
                                                 << "unusable: \"\\x1b/2J\" is not a host name";
    }

    void resolveLine()
    {
        QFETCH(QString, given);
        QFETCH(QString, resolved);
        QTemporaryDir dir;
        const line::PortContext context { QDir(dir.path()), [] {
                                             return QStringList { "/dev/ttyA", "/dev/ttyB" };
                                         } };
        const line::ResolvedLine line = line::resolveLine(given, context);
        const QString said = !line
            ? QStringLiteral("%1: %2").arg(
                QLatin1String(line::failureKind(line.fault.kind).jsonName), line.fault.text)
            : line.address->isServer() ? "server " + line.label
                                       : "device " + line.address->devicePath();
        QCOMPARE(said, resolved);
        QVERIFY2(!line.label.contains(u'\x1b'), qPrintable(line.label));
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
    }

    // What the operator is told, and what the terminal and the port list add.
    void serialOpenFault_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<QString>("systemText");
        QTest::addColumn<QString>("group");
        QTest::addColumn<Failure>("kind");
        QTest::addColumn<QString>("reason");
        const auto row
            = [](const char* name, QSerialPort::SerialPortError error, bool accessible,
                  const char* systemText, const char* group, Failure kind, const char* reason) {
                  QTest::newRow(name) << error << accessible << QString(systemText)
                                      << QString(group) << kind << QString(reason);
              };
        row("usable", QSerialPort::NoError, true, "", "", Failure::None, "");
        row("missing", QSerialPort::DeviceNotFoundError, false, "No such file or directory", "",
            Failure::Missing, "no such device");
        row("locked by another program", QSerialPort::PermissionError, true,
            "Permission error while locking the device", "dialout", Failure::Busy,
            "in use by another program");
        row("permission denied", QSerialPort::PermissionError, false, "Permission denied",
            "dialout", Failure::Denied,
            "permission denied (the user is not in the group that owns the device, dialout)");
        row("permission denied, group unknown", QSerialPort::PermissionError, false,
            "Permission denied", "", Failure::Denied,
            "permission denied (the user is not in the group that owns the device, usually "
            "dialout)");
        row("already open", QSerialPort::OpenError, true, "Device is already open", "",
            Failure::Busy, "already open");
        row("not a tty", QSerialPort::UnsupportedOperationError, true,
            "Inappropriate ioctl for device", "", Failure::Unusable,
            "inappropriate ioctl for device");
        row("directory", QSerialPort::UnknownError, true, "Is a directory", "", Failure::Unusable,
            "is a directory");
    }

    void serialOpenFault()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(bool, accessible);
        QFETCH(QString, systemText);
        QFETCH(QString, group);
        QFETCH(Failure, kind);
        QFETCH(QString, reason);
        const line::LineFault fault = line::serialOpenFault(error, systemText, accessible, group);
        QCOMPARE(fault.kind, kind);
        QCOMPARE(fault.text, reason);
    }

    // A device that hung up leaves the system nothing to say, and Qt passes on whatever error
    // came last: the hang-up is said instead, whatever the text.
    void serialLossFault_data()
    {
        QTest::addColumn<QString>("systemText");
        QTest::addColumn<bool>("hungUp");
        QTest::addColumn<QString>("text");
        const QString hungUp = "the device is gone (it hung up: its other end closed, or it was "
                               "unplugged)";
        QTest::newRow("hung up, no reason") << "Unknown error" << true << hungUp;
        QTest::newRow("hung up, a stale reason")
            << "Inappropriate ioctl for device" << true << hungUp;
        QTest::newRow("hung up, input/output error") << "Input/output error" << true << hungUp;
        QTest::newRow("an error of its own")
            << "Input/output error" << false << "the device is gone (input/output error)";
    }

    void serialLossFault()
    {
        QFETCH(QString, systemText);
        QFETCH(bool, hungUp);
        QFETCH(QString, text);
        const line::LineFault fault = line::serialLossFault(systemText, hungUp);
        QCOMPARE(fault.kind, Failure::Lost);
        QCOMPARE(fault.text, text);
    }

    // A server that cannot be reached, or drops the line: one kind each for the window's
    // message and a script's JSON.
    void socketFault_data()
    {
        QTest::addColumn<QAbstractSocket::SocketError>("error");
        QTest::addColumn<bool>("open");
        QTest::addColumn<Failure>("kind");
        QTest::addColumn<QString>("text");
        using S = QAbstractSocket;
        QTest::newRow("unknown host") << S::HostNotFoundError << false << Failure::Unreachable
                                      << "host \"cabinet\" not found";
        QTest::newRow("refused") << S::ConnectionRefusedError << false << Failure::Unreachable
                                 << "connection refused (nothing takes connections on port 4001)";
        QTest::newRow("closed at once") << S::RemoteHostClosedError << false << Failure::Refused
                                        << "the server closed the connection at once";
        QTest::newRow("closed while in use") << S::RemoteHostClosedError << true << Failure::Lost
                                             << "the connection dropped (the server closed it)";
        QTest::newRow("reset while in use") << S::NetworkError << true << Failure::Lost
                                            << "the connection dropped (connection reset)";
    }

    void socketFault()
    {
        QFETCH(QAbstractSocket::SocketError, error);
        QFETCH(bool, open);
        QFETCH(Failure, kind);
        QFETCH(QString, text);
        const line::LineFault fault
            = line::socketFault(error, QStringLiteral("Connection reset"), open, "cabinet", 4001);
        QCOMPARE(fault.kind, kind);
        QCOMPARE(fault.text, text);
    }
};

QTEST_GUILESS_MAIN(TestLinkValues)
#include "tst_line_values.moc"
