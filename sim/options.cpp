#include "options.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>

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

struct NumberOption {
    std::string_view name;
    int min;
    int max;
};

constexpr NumberOption kPort { "--port", 1, 255 };
// Modbus reserves 0 for broadcast and 248 to 255; libmodbus serves 1 to 247 only.
constexpr NumberOption kAddress { "--address", 1, 247 };
constexpr NumberOption kVin { "--vin", 0, 0xFFFF };
constexpr NumberOption kDelay { "--delay", 0, 60000 };
constexpr NumberOption kLate { "--late", 0, 60000 };
constexpr NumberOption kSplit { "--split", 1, 256 };

} // namespace

ParsedOptions parseOptions(int argc, const char* const* argv)
{
    ParsedOptions parsed;
    Options& o = parsed.options;
    for (int i = 1; i < argc && parsed.error.empty(); ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](const NumberOption& option, auto& target) {
            const auto n = value ? wholeNumber(value, option.min, option.max) : std::nullopt;
            if (!n) {
                parsed.error = std::string(option.name) + " needs a whole number from "
                    + std::to_string(option.min) + " to " + std::to_string(option.max);
                return;
            }
            target = static_cast<std::remove_reference_t<decltype(target)>>(*n);
            ++i;
        };

        if (arg == "--help" || arg == "-h")
            parsed.showHelp = true;
        else if (arg == kPort.name)
            number(kPort, o.port);
        else if (arg == kAddress.name)
            number(kAddress, o.slaveAddress);
        else if (arg == kVin.name)
            number(kVin, o.supplyCentivolts);
        else if (arg == kDelay.name)
            number(kDelay, o.delayMs);
        else if (arg == kLate.name)
            number(kLate, o.lateMs);
        else if (arg == kSplit.name)
            number(kSplit, o.split);
        else if (arg == "--silent-broadcast")
            o.silentBroadcast = true;
        else if (arg == "--no-reply")
            o.noReply = true;
        else if (arg == "--bad-crc")
            o.badCrc = true;
        else if (arg == "--wrong-address")
            o.wrongAddress = true;
        else if (arg == "--garbage") {
            const auto bytes = value ? hexBytes(value) : std::nullopt;
            if (!bytes)
                parsed.error = "--garbage needs hex bytes, for example FF00A5";
            else {
                o.garbage = *bytes;
                ++i;
            }
        } else
            parsed.error = "unknown option " + std::string(arg);
    }
    return parsed;
}

std::string usageText()
{
    return R"(usage: pwm5-sim [options]

Simulates the five-channel PWM module as a Modbus RTU slave on a pseudo-terminal,
linked as COM<n> in the working directory. Stop it with Ctrl+C; SIGUSR1 prints
the registers.

  --port N            link name COM<N> (1-255, default 1)
  --address N         slave address at start (1-247, default 1)
  --vin N             supply voltage in 0.01 V (0-65535, default 1234)
  --delay MS          response delay before a reply (default 5)
  --silent-broadcast  apply writes to address 0 without answering them
                      (default: answer with the echo, from address 0)
faults, applied to every reply:
  --no-reply          apply requests but never answer
  --bad-crc           corrupt the last CRC byte
  --split N           send a reply in N pieces, 10 ms apart
  --wrong-address     answer as slave address + 1
  --garbage BYTES     send these bytes, in hex (e.g. FF00A5), before each reply
  --late MS           hold each reply MS milliseconds more
  --help              show this text
)";
}

} // namespace sim
