#include "options.h"

#include <algorithm>
#include <charconv>
#include <getopt.h>
#include <optional>
#include <string_view>

#include "register_file.h"

namespace sim {

namespace {

std::optional<int> wholeNumber(std::string_view text, int min, int max)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc {} || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text)
{
    if (text.empty() || text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const char* first = text.data() + i;
        const auto [end, ec] = std::from_chars(first, first + 2, value, 16);
        if (ec != std::errc {} || end != first + 2)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

// Modbus reserves 0 for broadcast and 248 to 255; libmodbus serves 1 to 247 only.
constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 247;
// RS-485 transceivers of 1/8 unit load let 256 of them share one line.
constexpr std::size_t kMaxModules = 256;

// "1,2,17", "1-8" or both: each entry an address or a range A-B with A <= B. Fills `addresses`
// and returns an empty text; on failure leaves it empty and says what is wrong ("" when the
// value is no list at all).
std::string addressList(std::string_view text, std::vector<int>& addresses)
{
    addresses.clear();
    const auto fail = [&addresses](std::string why) {
        addresses.clear();
        return why;
    };
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        const std::string_view entry = text.substr(from, comma - from);
        from = comma + 1;
        const std::size_t dash = entry.find('-');
        const auto first = wholeNumber(entry.substr(0, dash), kFirstAddress, kLastAddress);
        const auto last = dash == std::string_view::npos
            ? first
            : wholeNumber(entry.substr(dash + 1), kFirstAddress, kLastAddress);
        if (!first || !last)
            return fail("");
        if (*last < *first)
            return fail("--address: the range " + std::string(entry) + " runs backwards");
        if (addresses.size() + static_cast<std::size_t>(*last - *first + 1) > kMaxModules)
            return fail(
                "--address: a line carries at most " + std::to_string(kMaxModules) + " modules");
        for (int address = *first; address <= *last; ++address)
            addresses.push_back(address);
    }
    return "";
}

std::optional<int> baudRate(std::string_view text)
{
    const auto rate = wholeNumber(text, 0, kBaudRates.back());
    if (rate && std::find(kBaudRates.begin(), kBaudRates.end(), *rate) != kBaudRates.end())
        return rate;
    return std::nullopt;
}

// What getopt_long returns for each long option. They lie above every character, so that its
// optopt after a complaint tells one of our long options from an unknown short one (a
// character) and from an unknown long one (0).
enum Code : int {
    kHelp = 0x100,
    kVersion,
    kPort,
    kAddress,
    kBaud,
    kVin,
    kDelay,
    kLate,
    kSplit,
    kGarbage,
    kSilentBroadcast,
    kNoReply,
    kBadCrc,
    kWrongAddress,
};

constexpr option kLongOptions[] = {
    { "port", required_argument, nullptr, kPort },
    { "address", required_argument, nullptr, kAddress },
    { "baud", required_argument, nullptr, kBaud },
    { "vin", required_argument, nullptr, kVin },
    { "delay", required_argument, nullptr, kDelay },
    { "late", required_argument, nullptr, kLate },
    { "split", required_argument, nullptr, kSplit },
    { "garbage", required_argument, nullptr, kGarbage },
    { "silent-broadcast", no_argument, nullptr, kSilentBroadcast },
    { "no-reply", no_argument, nullptr, kNoReply },
    { "bad-crc", no_argument, nullptr, kBadCrc },
    { "wrong-address", no_argument, nullptr, kWrongAddress },
    { "help", no_argument, nullptr, kHelp },
    { "version", no_argument, nullptr, kVersion },
    { nullptr, 0, nullptr, 0 },
};

// '+' stops at the first argument that is not an option, where we refuse it anyway, and so
// getopt_long never reorders argv (it would otherwise move such arguments to the end). ':'
// turns a missing value into a ':' return instead of a message on stderr; opterr = 0 keeps
// it quiet about the rest, as the errors are ours to word.
constexpr char kShortOptions[] = "+:h";

struct NumberOption {
    int code;
    int min;
    int max;
    void (*store)(Options&, int);
};

constexpr NumberOption kNumbers[] = {
    { kPort, 1, 255, [](Options& o, int n) { o.port = n; } },
    { kVin, 0, 0xFFFF,
        [](Options& o, int n) { o.supplyCentivolts = static_cast<std::uint16_t>(n); } },
    { kDelay, 0, 60000, [](Options& o, int n) { o.delayMs = n; } },
    { kLate, 0, 60000, [](Options& o, int n) { o.lateMs = n; } },
    { kSplit, 1, 256, [](Options& o, int n) { o.split = n; } },
};

const NumberOption* numberOption(int code)
{
    for (const NumberOption& n : kNumbers)
        if (n.code == code)
            return &n;
    return nullptr;
}

std::string longName(int code)
{
    for (const option* o = kLongOptions; o->name; ++o)
        if (o->val == code)
            return std::string("--") + o->name;
    return {};
}

// What a long option that needs a value says when the value is missing or wrong.
std::string valueError(int code)
{
    if (const NumberOption* n = numberOption(code))
        return longName(code) + " needs a whole number from " + std::to_string(n->min) + " to "
            + std::to_string(n->max);
    if (code == kAddress)
        return "--address needs addresses 1 to 247 or ranges of them, as 1,2,17 or 1-8";
    if (code == kBaud) {
        std::string rates;
        for (int rate : kBaudRates)
            rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
        return "--baud needs one of " + rates;
    }
    return longName(code) + " needs hex bytes, for example FF00A5";
}

// getopt_long's '?': `code` is its optopt, `arg` the argument it stopped at.
std::string refusal(int code, std::string_view arg)
{
    if (code >= kHelp)
        return longName(code) + " takes no value";
    if (code != 0)
        return "unknown option -" + std::string(1, static_cast<char>(code));
    // A long option that is not ours, or a prefix of more than one of ours.
    const std::string_view name = arg.substr(0, arg.find('='));
    int matches = 0;
    for (const option* o = kLongOptions; o->name; ++o)
        matches += std::string_view(o->name).starts_with(name.substr(2)) ? 1 : 0;
    return (matches > 1 && name.size() > 2 ? "ambiguous option " : "unknown option ")
        + std::string(name);
}

// One option as getopt_long returned it, taken into the options, or the error it makes.
void take(int code, ParsedOptions& parsed, const char* const* argv)
{
    Options& o = parsed.options;
    switch (code) {
    case 'h':
    case kHelp:
        parsed.showHelp = true;
        break;
    case kVersion:
        parsed.showVersion = true;
        break;
    case kSilentBroadcast:
        o.silentBroadcast = true;
        break;
    case kNoReply:
        o.noReply = true;
        break;
    case kBadCrc:
        o.badCrc = true;
        break;
    case kWrongAddress:
        o.wrongAddress = true;
        break;
    case kGarbage:
        if (const auto bytes = hexBytes(optarg))
            o.garbage = *bytes;
        else
            parsed.error = valueError(code);
        break;
    case kAddress: {
        const std::string why = addressList(optarg, o.addresses);
        if (o.addresses.empty())
            parsed.error = why.empty() ? valueError(code) : why;
        break;
    }
    case kBaud:
        if (const auto rate = baudRate(optarg))
            o.baudRate = *rate;
        else
            parsed.error = valueError(code);
        break;
    case ':':
        parsed.error = valueError(optopt);
        break;
    case '?':
        parsed.error = refusal(optopt, argv[optind - 1]);
        break;
    default: {
        const NumberOption* n = numberOption(code);
        if (const auto value = n ? wholeNumber(optarg, n->min, n->max) : std::nullopt)
            n->store(o, *value);
        else
            parsed.error = valueError(code);
    }
    }
}

} // namespace

ParsedOptions parseOptions(int argc, const char* const* argv)
{
    ParsedOptions parsed;
    // getopt_long keeps its place in globals. glibc starts afresh at optind 0, which also
    // forgets the rest of a group of short options where an earlier parse stopped ("-xh").
    optind = 0;
    opterr = 0;
    // getopt_long never writes to the strings, and with '+' never reorders the array either,
    // so the cast only meets its signature.
    char* const* args = const_cast<char* const*>(argv);
    int code = 0;
    while (parsed.error.empty()
        && (code = getopt_long(argc, args, kShortOptions, kLongOptions, nullptr)) != -1)
        take(code, parsed, argv);
    if (parsed.error.empty() && optind < argc)
        parsed.error = "unexpected argument " + std::string(argv[optind]);
    return parsed;
}

std::string usageText()
{
    return R"(usage: pwm5-sim [options]

Simulates the five-channel PWM module as a Modbus RTU slave on a pseudo-terminal,
linked as COM<n> in the working directory: one module, or several sharing the
line as on RS-485. Stop it with Ctrl+C; SIGUSR1 prints every module's registers.
A value goes after its option as "--port 2" or "--port=2".

  --port N            link name COM<N> (1-255, default 1)
  --address LIST      one module per address, as 1,2,17 or 1-8 or both
                      (1-247, default 1); an address given twice plays two
                      modules, whose replies collide
  --baud RATE         the rate every module starts at: 4800, 9600, 19200,
                      38400, 57600 or 115200 (default 9600)
  --vin N             supply voltage in 0.01 V (0-65535, default 1234)
  --delay MS          response delay before a reply (0-60000, default 5)
  --silent-broadcast  apply writes to address 0 without answering them
                      (default: answer with the echo, from address 0)
faults, applied to every module's reply:
  --no-reply          apply requests but never answer
  --bad-crc           corrupt the last CRC byte
  --split N           send a reply in N pieces, 10 ms apart (1-256)
  --wrong-address     answer as slave address + 1
  --garbage BYTES     send these bytes, in hex (e.g. FF00A5), before each reply
  --late MS           hold each reply MS milliseconds more (0-60000)
  -h, --help          show this text
  --version           show the version
)";
}

} // namespace sim
