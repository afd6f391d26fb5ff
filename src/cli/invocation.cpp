#include "invocation.h"

#include "bridge_call.h"
#include "command_table.h"
#include "options.h"

#include "device/parameter_value.h"
#include "ports/settings_file.h"
#include "text/quoted_text.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>

namespace cli {

namespace {

constexpr int kDefaultTimeoutMs = 200;
constexpr int kScanTimeoutMs = 25;
// A device server gathers a reply until the line pauses before it sends it on (ser2net waits
// up to 20 ms), and the network adds its own time: a probe through one waits this much longer.
constexpr int kServerAllowanceMs = 50;

// What is wrong with the command line, or nothing.
using Wrong = std::optional<QString>;

// "baud rate %1 is not a rate" with the value given, cut if long.
QString said(const char* text, const QString& given)
{
    return QString::fromLatin1(text).arg(quoting::quotedValue(given));
}

bool isBaudRate(int rate)
{
    return std::ranges::find(device::kBaudRates, rate) != device::kBaudRates.end();
}

// The command, its arguments, and no option of another command's.
Wrong takeCommand(const OptionParser& given, Invocation& call)
{
    QStringList positional = given.positional();
    if (positional.isEmpty())
        return QStringLiteral("no command; pwm5ctl --help lists them");
    const QString name = positional.takeFirst();
    call.arguments = positional;
    call.command = commandIdNamed(name);
    if (!call.command)
        return said("unknown command %1", name);
    return given.refusalFor(*call.command);
}

// What the command line leaves out of the port and the rate comes from the window's settings
// file.
Wrong takeLine(const OptionParser& given, Invocation& call)
{
    const bool portGiven = given.isSet(OptionId::Port);
    const bool baudGiven = given.isSet(OptionId::Baud);
    // Given both, the file is not even opened: whatever it is cannot stop the call.
    const line::LoadedPort loaded = portGiven && baudGiven
        ? line::LoadedPort {}
        : line::loadStoredPort(QString::fromLatin1(line::kSettingsFile));
    for (const QString& note : { loaded.fileNote, portGiven ? QString() : loaded.portNote,
             baudGiven ? QString() : loaded.baudNote })
        if (!note.isEmpty())
            call.notes.append(note);
    call.port = portGiven ? given.value(OptionId::Port)
                          : QStringLiteral("COM%1").arg(loaded.stored.portNumber);
    call.where = line::resolveLine(call.port, line::PortContext::current());
    const QString rate = baudGiven ? given.value(OptionId::Baud) : loaded.stored.baud;
    const auto baud = line::baudRate(rate);
    if (!baud)
        return said("baud rate %1 is not a rate", rate);
    const QString parityWord = given.value(OptionId::Parity);
    const auto parity = line::parityOfWord(parityWord);
    if (!parity)
        return said("parity %1 is not none, odd or even", parityWord);
    const auto dataBits = line::dataBits(given.value(OptionId::DataBits));
    if (!dataBits)
        return said("data bits %1 are not 8, 7 or 6", given.value(OptionId::DataBits));
    const auto stopBits = line::stopBits(given.value(OptionId::StopBits));
    if (!stopBits)
        return said("stop bits %1 are not 1 or 2", given.value(OptionId::StopBits));
    call.line = { *baud, parity->letter, *dataBits, *stopBits };
    return std::nullopt;
}

// The module's address and how long it may take to answer.
Wrong takeSlave(const OptionParser& given, Invocation& call)
{
    const QString address = given.value(OptionId::Address);
    const bool list = address.contains(u',') || address.indexOf(u'-') > 0;
    const auto modules = list ? addressList(address, Repeats::Refused)
        : wholeNumber(address, device::kMinUnicastAddress, device::kMaxUnicastAddress)
        ? std::optional(QList<int> { address.toInt() })
        : std::nullopt;
    if (!modules)
        return list
            ? said("address list %1 is not addresses 1 to 247, each once, ranges upwards", address)
            : said("address %1 is not 1 to 247", address);
    const CommandEntry& entry = commandEntry(*call.command);
    if (list && !entry.servesList)
        return QStringLiteral("%1 takes one address, not the list %2")
            .arg(QLatin1String(entry.name), quoting::quotedValue(address));
    call.modules = *modules;
    call.address = modules->front();
    const QString timeout = given.value(OptionId::Timeout);
    const bool server = call.where && call.where.address->isServer();
    const int defaultTimeout = !entry.probes ? kDefaultTimeoutMs
        : server                             ? kScanTimeoutMs + kServerAllowanceMs
                                             : kScanTimeoutMs;
    const auto waitMs = given.isSet(OptionId::Timeout) ? wholeNumber(timeout, 0, 60'000)
                                                       : std::optional(defaultTimeout);
    if (!waitMs)
        return said("timeout %1 is not 0 to 60000 ms", timeout);
    call.timeoutMs = *waitMs;
    return std::nullopt;
}

// The options that take no value but scan's --all; none can be wrong.
Wrong takeSwitches(const OptionParser& given, Invocation& call)
{
    call.json = given.isSet(OptionId::Json);
    call.verbose = given.isSet(OptionId::Verbose);
    call.clamp = given.isSet(OptionId::Clamp);
    call.verify = !given.isSet(OptionId::NoVerify);
    call.csv = given.isSet(OptionId::Csv);
    if (call.csv && call.json)
        return QStringLiteral("--csv and --json do not go together");
    return std::nullopt;
}

Wrong takeScan(const OptionParser& given, Invocation& call)
{
    call.all = given.isSet(OptionId::All);
    if (given.isSet(OptionId::Bauds)) {
        for (const QString& text : given.value(OptionId::Bauds).split(u',')) {
            const auto rate = line::baudRate(text);
            if (!rate || !isBaudRate(*rate))
                return said("--bauds: %1 is not one of the module's rates", text);
            call.bauds << *rate;
        }
    } else {
        // The line's own rate first: a module is most likely still where it was.
        if (isBaudRate(call.line.baud))
            call.bauds << call.line.baud;
        for (const std::int32_t moduleRate : device::kBaudRates)
            if (moduleRate != call.line.baud)
                call.bauds << moduleRate;
    }
    const QString addresses = given.value(OptionId::Addresses);
    const auto scanned = addressList(addresses);
    if (!scanned)
        return said("--addresses: %1 is not a list of addresses 1 to 247", addresses);
    call.addresses = *scanned;
    return std::nullopt;
}

Wrong takeMonitor(const OptionParser& given, Invocation& call)
{
    const QString interval = given.value(OptionId::Interval);
    const auto period = wholeNumber(interval, 0, 86'400'000);
    if (!period)
        return said("--interval: %1 is not a time in ms", interval);
    call.intervalMs = *period;
    if (!given.isSet(OptionId::Count))
        return std::nullopt;
    const QString count = given.value(OptionId::Count);
    const auto reads = wholeNumber(count, 1, 1'000'000'000);
    if (!reads)
        return said("--count: %1 is not a number of reads", count);
    call.count = *reads;
    return std::nullopt;
}

Wrong takeAdopt(const OptionParser& given, Invocation& call)
{
    const QString settle = given.value(OptionId::Settle);
    const auto ms = wholeNumber(settle, 0, 10'000);
    if (!ms)
        return said("--settle: %1 is not a time in ms", settle);
    call.settleMs = *ms;
    return std::nullopt;
}

Wrong takeBridge(const OptionParser& given, Invocation& call)
{
    if (call.command != CommandId::Bridge)
        return std::nullopt;
    // A service's settings file with PORT= left empty passes -p "".
    if (call.port.isEmpty())
        return QStringLiteral("no port: -p is empty");
    call.topicPrefix = given.value(OptionId::Topic);
    call.passwordFile = given.value(OptionId::PasswordFile);
    call.caFile = given.value(OptionId::CaFile);
    call.discovery = given.isSet(OptionId::Discovery);
    call.discoveryPrefix = given.value(OptionId::DiscoveryPrefix);
    call.modbusTcp = given.value(OptionId::ModbusTcp);
    call.rtuTcp = given.value(OptionId::RtuTcp);
    call.allow = given.value(OptionId::Allow);
    call.readOnly = given.isSet(OptionId::ReadOnly);
    const QString clients = given.value(OptionId::MaxClients);
    const auto most = wholeNumber(clients, 1, 1000);
    if (!most)
        return said("--max-clients: %1 is not a number of connections, 1 to 1000", clients);
    call.maxClients = *most;
    if (given.isSet(OptionId::MaxAge)) {
        const QString age = given.value(OptionId::MaxAge);
        const auto ms = wholeNumber(age, 0, 86'400'000);
        if (!ms)
            return said("--max-age: %1 is not a time in ms", age);
        call.maxAgeMs = *ms;
    }
    return bridgeTopicsRefusal(call, given.isSet(OptionId::Topic));
}

Parsed wrong(const QString& text)
{
    return { Parsed::Outcome::Wrong, {}, text };
}

} // namespace

QString Invocation::commandName() const
{
    if (!command)
        return {};
    const std::string_view name = commandEntry(*command).name;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

std::optional<int> wholeNumber(const QString& text, int lowest, int highest)
{
    // QString::toInt would pass over blanks and take a sign; the line settings take neither.
    if (text.isEmpty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        // Leading zeros never end it early; a page of digits does.
        if (value > highest)
            return std::nullopt;
    }
    if (value < lowest)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<QList<int>> addressList(const QString& text, Repeats repeats)
{
    QList<int> addresses;
    for (const QString& part : text.split(u',')) {
        const QStringList ends = part.split(u'-');
        if (ends.size() > 2)
            return std::nullopt;
        const auto first
            = wholeNumber(ends.front(), device::kMinUnicastAddress, device::kMaxUnicastAddress);
        const auto last
            = wholeNumber(ends.back(), device::kMinUnicastAddress, device::kMaxUnicastAddress);
        if (!first || !last || *last < *first)
            return std::nullopt;
        for (int a = *first; a <= *last; ++a) {
            if (addresses.contains(a) && repeats == Repeats::Refused)
                return std::nullopt;
            if (!addresses.contains(a))
                addresses << a;
        }
    }
    return addresses;
}

Parsed parsedInvocation(const QStringList& arguments)
{
    OptionParser given;
    if (const Wrong why = given.parse(arguments))
        return wrong(*why);
    if (given.isSet(OptionId::Help))
        return { Parsed::Outcome::Help, {}, given.helpText() };
    if (given.isSet(OptionId::Version))
        return { Parsed::Outcome::Version, {},
            QStringLiteral("pwm5ctl %1\n").arg(QCoreApplication::applicationVersion()) };

    Invocation call;
    for (const auto take : { takeCommand, takeLine, takeSlave, takeSwitches, takeScan, takeMonitor,
             takeAdopt, takeBridge })
        if (const Wrong why = take(given, call))
            return { Parsed::Outcome::Wrong, call, *why };
    return { Parsed::Outcome::Run, call, {} };
}

} // namespace cli
