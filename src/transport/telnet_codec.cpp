#include "telnet_codec.h"

#include <initializer_list>

namespace line::telnet {

namespace {

bool weTakePart(std::uint8_t option)
{
    return option == kBinary || option == kComPort;
}

bool theyMay(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead;
}

// Bytes from their values: static_cast<char> spelt once.
QByteArray bytes(std::initializer_list<unsigned> values)
{
    QByteArray out;
    for (const unsigned value : values)
        out += static_cast<char>(value & 0xFF);
    return out;
}

QByteArray command(std::uint8_t verb, std::uint8_t option)
{
    return bytes({ kIac, verb, option });
}

QByteArray subnegotiation(std::uint8_t code, const QByteArray& value)
{
    return command(kSb, kComPort) + bytes({ code }) + escaped(value) + bytes({ kIac, kSe });
}

// RFC 2217's codes: parity 1 none, 2 odd, 3 even; stop size 1 one bit, 2 two bits.
unsigned parityCode(char letter)
{
    return letter == 'O' ? 2 : letter == 'E' ? 3 : 1;
}

} // namespace

QByteArray escaped(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == kIac)
            out += c;
    }
    return out;
}

QByteArray opening()
{
    return command(kWill, kBinary) + command(kDo, kBinary) + command(kDo, kSuppressGoAhead)
        + command(kWill, kComPort);
}

QByteArray settingsCommands(const PortSettings& settings)
{
    const auto baud = static_cast<unsigned>(settings.baud);
    return subnegotiation(kSetBaudRate, bytes({ baud >> 24, baud >> 16, baud >> 8, baud }))
        + subnegotiation(kSetDataSize, bytes({ static_cast<unsigned>(settings.dataBits) }))
        + subnegotiation(kSetParity, bytes({ parityCode(settings.parity) }))
        + subnegotiation(kSetStopSize, bytes({ static_cast<unsigned>(settings.stopBits) }));
}

Reader::Reader()
{
    // What opening() asks for, and the answers that will only acknowledge it.
    ours_[kBinary] = ours_[kComPort] = Stance::Asked;
    theirs_[kBinary] = theirs_[kSuppressGoAhead] = Stance::Asked;
}

Reader::Taken Reader::take(QByteArrayView bytes)
{
    Taken taken;
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        switch (state_) {
        case State::Data:
            if (byte == kIac)
                state_ = State::Command;
            else
                taken.data += c;
            break;
        case State::Command:
            if (byte == kIac) {
                taken.data += c;
                state_ = State::Data;
                break;
            }
            taken.telnetSeen = true;
            if (byte == kDo || byte == kDont || byte == kWill || byte == kWont) {
                verb_ = byte;
                state_ = State::Option;
            } else if (byte == kSb) {
                state_ = State::Subnegotiation;
            } else {
                // NOP, go-ahead, break and the like carry nothing for the line.
                state_ = State::Data;
            }
            break;
        case State::Option:
            negotiate(verb_, byte, taken);
            state_ = State::Data;
            break;
        case State::Subnegotiation:
            if (byte == kIac)
                state_ = State::SubnegotiationCommand;
            else
                keep(c);
            break;
        case State::SubnegotiationCommand:
            if (byte == kIac) {
                keep(c);
                state_ = State::Subnegotiation;
            } else {
                // IAC SE ends it; anything else after IAC ends it as well.
                taken.telnetSeen = true;
                subnegotiated(taken);
                state_ = State::Data;
            }
            break;
        }
    }
    return taken;
}

// Each side answers only a change, so that two sides never answer each other without end. And an
// option is refused once: a server that asks again for what was refused, or turns an option on
// and off again, is not listening, and answering it each time would pile the replies up in a
// socket it never reads. So the client agrees to an option at most once and refuses it at most
// once in each direction, and a refused option stays off for the connection.
void Reader::negotiate(std::uint8_t verb, std::uint8_t option, Taken& taken)
{
    const bool asks = verb == kDo || verb == kWill;
    const bool ours = verb == kDo || verb == kDont;
    if (ours && !asks && option == kComPort)
        taken.portControlRefused = true;
    Stance& stance = (ours ? ours_ : theirs_)[option];
    const bool welcome = ours ? weTakePart(option) : theyMay(option);
    if (stance == Stance::Refused)
        return;
    if (asks && welcome) {
        if (stance == Stance::Off)
            taken.reply += command(ours ? kWill : kDo, option);
        stance = Stance::On;
    } else if (asks || stance == Stance::On) {
        taken.reply += command(ours ? kWont : kDont, option);
        stance = Stance::Refused;
    } else {
        // The server turns down what the opening offered, or what is off already: no change.
        stance = Stance::Off;
    }
}

void Reader::keep(char c)
{
    if (subnegotiation_.size() < kLongestSubnegotiation)
        subnegotiation_ += c;
    else
        overlong_ = true;
}

// A subnegotiation cut short is not reported, not even its code: what was kept is not what the
// server sent.
void Reader::subnegotiated(Taken& taken)
{
    const auto at = [&](qsizetype i) { return static_cast<std::uint8_t>(subnegotiation_[i]); };
    if (!overlong_ && subnegotiation_.size() >= 2 && at(0) == kComPort && at(1) > kServerAnswer)
        taken.answers.push_back(
            { static_cast<std::uint8_t>(at(1) - kServerAnswer), subnegotiation_.sliced(2) });
    subnegotiation_.clear();
    overlong_ = false;
}

} // namespace line::telnet
