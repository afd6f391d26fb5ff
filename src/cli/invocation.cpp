#include "invocation.h"

#include "commands.h"

#include "device/parameter_value.h"
#include "link/settings_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <array>

namespace cli {

namespace {

constexpr int kDefaultTimeoutMs = 200;
constexpr int kScanTimeoutMs = 25;

const QString kCommands = QStringLiteral(R"(
Commands:
  read                 Read all 26 registers in one request and print every parameter.
  set NAME=VALUE ...   Change parameters, one request each, in the order given:
                       pwm_voltage, channel, key_lock, chN.frequency, chN.duty,
                       chN.output (N = 1 to 5). Numbers are rounded as the window
                       rounds them; on/off values are on, off, true, false, 1, 0. A
                       value beyond its range is refused, unless --clamp.
  apply FILE           Write the parameters of a file in the form read --json prints
                       (- for stdin), in one request of registers 0x0001 to 0x0017.
                       Absent keys keep the module's values; address, baud_rate,
                       baud_code and supply_voltage are ignored.
  address NEW          Give the module the slave address NEW (1 to 247). Sent to the
                       broadcast address 0: EVERY module on the line takes it. Then
                       reads at NEW to confirm, unless --no-verify.
  baud RATE            Give the module the baud rate RATE, one of
                       %1;
                       then reopen at RATE and confirm with a read, unless
                       --no-verify.
  scan                 Look for modules: read register 0x0000 at each address and
                       rate (--bauds, --addresses); stop at the first, unless --all.
  monitor              Read all every --interval MS until Ctrl+C or --count N, print
                       what changed, and statistics at the end.

Replies: complete at the length the request implies, or as a 5-byte exception reply,
starting with the request's address and function, with a valid CRC. Bytes waiting
before a request are discarded; after an unanswered request, the next one to the same
slave waits for a quiet line, so a late reply never passes for the next one's.

Port and rate not given come from com.txt in the working directory (the window's
settings), else COM1 and 9600. COMn is a file or link named COMn in the working
directory, else the n-th serial port of the system.

Exit status: 0 done; 1 the module did not answer or answered wrongly (also: a scan
found nothing, a monitor had a failed read); 2 the command line is wrong, nothing was
sent; 3 the port could not be used.)");

bool isBaudRate(int rate)
{
    return std::ranges::find(device::kBaudRates, rate) != device::kBaudRates.end();
}

// Which command each of these options belongs to.
struct OwnedOption {
    const char* name;
    const char* command;
};

constexpr std::array<OwnedOption, 7> kOwnedOptions { {
    { "clamp", "set" },
    { "no-verify", "address baud" },
    { "bauds", "scan" },
    { "addresses", "scan" },
    { "all", "scan" },
    { "interval", "monitor" },
    { "count", "monitor" },
} };

Parsed wrong(const QString& text)
{
    return { Parsed::Outcome::Wrong, {}, text };
}

} // namespace

std::optional<int> wholeNumber(const QString& text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < lowest || value > highest || text.startsWith(u'+'))
        return std::nullopt;
    return value;
}

std::optional<QList<int>> addressList(const QString& text)
{
    QList<int> addresses;
    for (const QString& part : text.split(u',')) {
        const QStringList ends = part.split(u'-');
        if (ends.size() > 2)
            return std::nullopt;
        const auto first = wholeNumber(ends.front(), 1, kMaxAddress);
        const auto last = wholeNumber(ends.back(), 1, kMaxAddress);
        if (!first || !last || *last < *first)
            return std::nullopt;
        for (int a = *first; a <= *last; ++a)
            if (!addresses.contains(a))
                addresses << a;
    }
    return addresses;
}

Parsed parsedInvocation(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The five-channel PWM module's own Modbus RTU master, for scripts."));
    const QCommandLineOption port({ "p", "port" },
        QStringLiteral("COMn, or a device path such as /dev/ttyUSB0."), QStringLiteral("PORT"));
    const QCommandLineOption baud(
        { "b", "baud" }, QStringLiteral("The line's baud rate."), QStringLiteral("RATE"));
    const QCommandLineOption parity(QStringLiteral("parity"),
        QStringLiteral("none, odd or even (default none)."), QStringLiteral("PARITY"),
        QStringLiteral("none"));
    const QCommandLineOption dataBits(QStringLiteral("data-bits"),
        QStringLiteral("8, 7 or 6 (default 8)."), QStringLiteral("BITS"), QStringLiteral("8"));
    const QCommandLineOption stopBits(QStringLiteral("stop-bits"),
        QStringLiteral("1 or 2 (default 1)."), QStringLiteral("BITS"), QStringLiteral("1"));
    const QCommandLineOption address({ "a", "address" },
        QStringLiteral("The module's slave address, 1 to 247 (default 1)."), QStringLiteral("N"),
        QStringLiteral("1"));
    const QCommandLineOption timeout({ "t", "timeout" },
        QStringLiteral("How long the module may take to begin its reply after the request "
                       "has left, in ms (default 200; 25 for scan). A reply that has begun "
                       "gets its transfer time on top."),
        QStringLiteral("MS"));
    const QCommandLineOption json(
        QStringLiteral("json"), QStringLiteral("Machine-readable output on stdout."));
    const QCommandLineOption verbose(
        { "v", "verbose" }, QStringLiteral("Each frame as hex on stderr (send:, recv:)."));
    const QCommandLineOption help({ "h", "help" }, QStringLiteral("This text."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("The version."));
    const QCommandLineOption clamp(QStringLiteral("clamp"),
        QStringLiteral("set: clamp a value beyond its range, as the window does."));
    const QCommandLineOption noVerify(
        QStringLiteral("no-verify"), QStringLiteral("address, baud: do not read back to confirm."));
    const QCommandLineOption bauds(QStringLiteral("bauds"),
        QStringLiteral("scan: the rates to try (default all six, --baud first)."),
        QStringLiteral("LIST"));
    const QCommandLineOption addresses(QStringLiteral("addresses"),
        QStringLiteral("scan: the addresses to try, e.g. 1-10,17 (default 1-247)."),
        QStringLiteral("RANGE"), QStringLiteral("1-247"));
    const QCommandLineOption all(
        QStringLiteral("all"), QStringLiteral("scan: go on after the first module found."));
    const QCommandLineOption interval(QStringLiteral("interval"),
        QStringLiteral("monitor: ms from one read to the next (default 1000)."),
        QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption count(QStringLiteral("count"),
        QStringLiteral("monitor: stop after N reads (default: at Ctrl+C)."), QStringLiteral("N"));
    parser.addOptions({ port, baud, parity, dataBits, stopBits, address, timeout, json, verbose,
        help, version, clamp, noVerify, bauds, addresses, all, interval, count });
    parser.addPositionalArgument(QStringLiteral("COMMAND"),
        QStringLiteral("read, set, apply, address, baud, scan or monitor."),
        QStringLiteral("COMMAND [ARGUMENTS]"));

    if (!parser.parse(arguments)) {
        // Qt words it as a sentence ("Unknown option 'x'."); the other messages are not.
        QString text = parser.errorText();
        text[0] = text[0].toLower();
        if (text.endsWith(u'.'))
            text.chop(1);
        return wrong(text);
    }
    if (parser.isSet(help)) {
        // Qt's usage line names the program by the path it was called with.
        QString usage = parser.helpText();
        const qsizetype name = usage.indexOf(u' ') + 1;
        const qsizetype options = usage.indexOf(QStringLiteral(" [options]"));
        if (name > 0 && options > name)
            usage.replace(name, options - name, QStringLiteral("pwm5ctl"));
        return { Parsed::Outcome::Help, {},
            usage
                + kCommands.arg(device::rangeText(device::parameter(device::ParameterId::BaudRate)))
                + u'\n' };
    }
    if (parser.isSet(version))
        return { Parsed::Outcome::Version, {},
            QStringLiteral("pwm5ctl %1\n").arg(QCoreApplication::applicationVersion()) };

    Invocation call;
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return wrong(QStringLiteral("no command; pwm5ctl --help lists them"));
    call.command = positional.takeFirst();
    call.arguments = positional;
    if (!commandNamed(call.command))
        return wrong(QStringLiteral("unknown command %1").arg(call.command));
    for (const OwnedOption& owned : kOwnedOptions)
        if (parser.isSet(QString::fromLatin1(owned.name))
            && !QString::fromLatin1(owned.command).split(u' ').contains(call.command))
            return wrong(QStringLiteral("--%1 goes with %2 only")
                             .arg(QLatin1String(owned.name),
                                 QString::fromLatin1(owned.command).replace(u' ', " and ")));

    // What the command line leaves out comes from the window's settings file.
    const line::StoredPort stored = line::loadStoredPort(QString::fromLatin1(line::kSettingsFile));
    call.port
        = parser.isSet(port) ? parser.value(port) : QStringLiteral("COM%1").arg(stored.portNumber);
    const QString rate = parser.isSet(baud) ? parser.value(baud) : stored.baud;
    const auto baudRate = wholeNumber(rate, 1, 4'000'000);
    if (!baudRate)
        return wrong(QStringLiteral("baud rate %1 is not a rate").arg(rate));
    call.line.baud = *baudRate;

    const QString parityText = parser.value(parity);
    const qsizetype parityIndex = QStringList { "none", "odd", "even" }.indexOf(parityText);
    if (parityIndex < 0)
        return wrong(QStringLiteral("parity %1 is not none, odd or even").arg(parityText));
    call.line.parity = "NOE"[parityIndex];
    const auto bits = wholeNumber(parser.value(dataBits), 6, 8);
    if (!bits)
        return wrong(QStringLiteral("data bits %1 are not 8, 7 or 6").arg(parser.value(dataBits)));
    call.line.dataBits = *bits;
    const auto stops = wholeNumber(parser.value(stopBits), 1, 2);
    if (!stops)
        return wrong(QStringLiteral("stop bits %1 are not 1 or 2").arg(parser.value(stopBits)));
    call.line.stopBits = *stops;

    const auto slave = wholeNumber(parser.value(address), 1, kMaxAddress);
    if (!slave)
        return wrong(QStringLiteral("address %1 is not 1 to 247").arg(parser.value(address)));
    call.address = *slave;
    const int defaultTimeout = call.command == u"scan" ? kScanTimeoutMs : kDefaultTimeoutMs;
    const auto waitMs = parser.isSet(timeout) ? wholeNumber(parser.value(timeout), 0, 60'000)
                                              : std::optional<int>(defaultTimeout);
    if (!waitMs)
        return wrong(QStringLiteral("timeout %1 is not 0 to 60000 ms").arg(parser.value(timeout)));
    call.timeoutMs = *waitMs;
    call.json = parser.isSet(json);
    call.verbose = parser.isSet(verbose);

    call.clamp = parser.isSet(clamp);
    call.verify = !parser.isSet(noVerify);
    call.all = parser.isSet(all);
    if (parser.isSet(bauds)) {
        for (const QString& text : parser.value(bauds).split(u',')) {
            const auto rateInList = wholeNumber(text, 1, 4'000'000);
            if (!rateInList || !isBaudRate(*rateInList))
                return wrong(
                    QStringLiteral("--bauds: %1 is not one of the module's rates").arg(text));
            call.bauds << *rateInList;
        }
    } else {
        // The line's own rate first: a module is most likely still where it was.
        if (isBaudRate(call.line.baud))
            call.bauds << call.line.baud;
        for (const std::int32_t moduleRate : device::kBaudRates)
            if (moduleRate != call.line.baud)
                call.bauds << moduleRate;
    }
    const auto scanned = addressList(parser.value(addresses));
    if (!scanned)
        return wrong(QStringLiteral("--addresses: %1 is not a list of addresses 1 to 247")
                         .arg(parser.value(addresses)));
    call.addresses = *scanned;
    const auto period = wholeNumber(parser.value(interval), 0, 86'400'000);
    if (!period)
        return wrong(
            QStringLiteral("--interval: %1 is not a time in ms").arg(parser.value(interval)));
    call.intervalMs = *period;
    if (parser.isSet(count)) {
        const auto reads = wholeNumber(parser.value(count), 1, 1'000'000'000);
        if (!reads)
            return wrong(
                QStringLiteral("--count: %1 is not a number of reads").arg(parser.value(count)));
        call.count = *reads;
    }
    return { Parsed::Outcome::Run, call, {} };
}

} // namespace cli
