#pragma once

#include "rtu/port_settings.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <vector>

// A serial line behind a device server that speaks Telnet with the COM-PORT-OPTION (RFC 2217):
// the bytes of the line travel with each 0xFF doubled, and the line's settings travel as
// subnegotiations. Pure: bytes in, bytes out; the connection is someone else's.
namespace line::telnet {

inline constexpr std::uint8_t kIac = 0xFF;
inline constexpr std::uint8_t kDont = 0xFE;
inline constexpr std::uint8_t kDo = 0xFD;
inline constexpr std::uint8_t kWont = 0xFC;
inline constexpr std::uint8_t kWill = 0xFB;
inline constexpr std::uint8_t kSb = 0xFA;
inline constexpr std::uint8_t kSe = 0xF0;

// The options the client takes part in: 8-bit data both ways, no go-aheads, the port control.
inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// COM-PORT-OPTION commands from the client; the server answers each with the code plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kServerAnswer = 100;

// The most of a subnegotiation the reader keeps, in bytes after undoubling 0xFF: the option, the
// code and the value. A COM-PORT-OPTION answer is at most 6 (a baud rate's value is 4 bytes), so
// a subnegotiation longer than this is no answer; its further bytes up to its IAC SE are dropped,
// and a server that never closes one cannot make the reader grow.
inline constexpr qsizetype kLongestSubnegotiation = 64;

// The line's bytes as they go onto the connection: each 0xFF doubled.
QByteArray escaped(QByteArrayView data);

// What the client says first: it will do binary and the port control, and asks the server
// for binary and no go-aheads.
QByteArray opening();

// The line settings as four subnegotiations: SET-BAUDRATE, SET-DATASIZE, SET-PARITY and
// SET-STOPSIZE.
QByteArray settingsCommands(const PortSettings& settings);

// A server's answer to a COM-PORT-OPTION command: the command it answers and its value.
struct PortAnswer {
    std::uint8_t command; // kSetBaudRate ... without the 100
    QByteArray value;

    friend bool operator==(const PortAnswer&, const PortAnswer&) = default;
};

// What arrived, taken apart. A connection delivers its bytes in segments cut anywhere, so the
// reader keeps what a segment leaves unfinished for the next.
class Reader {
public:
    struct Taken {
        QByteArray data; // the line's bytes
        QByteArray reply; // what the client must send back: its answers to the negotiation
        std::vector<PortAnswer> answers;
        bool portControlRefused = false; // the server will not take COM-PORT-OPTION
        // The server spoke Telnet in this segment: an IAC came with anything but a second IAC
        // (counted where the byte after the IAC arrives). A raw TCP port sends no command of its
        // own, though line bytes that follow a 0xFF may look like one.
        bool telnetSeen = false;
    };

    Reader();
    Taken take(QByteArrayView bytes);
    // What the reader holds between segments: the part of a subnegotiation taken so far, never
    // more than kLongestSubnegotiation bytes. The rest of its state has a fixed size.
    qsizetype bufferedBytes() const { return subnegotiation_.size(); }

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationCommand };
    void negotiate(std::uint8_t verb, std::uint8_t option, Taken& taken);
    void keep(char c);
    void subnegotiated(Taken& taken);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    QByteArray subnegotiation_;
    bool overlong_ = false; // the subnegotiation went beyond kLongestSubnegotiation
    // Where an option stands, ours (WILL) and the server's (DO). Asked: the opening asked for it
    // and its first answer needs none. Refused: the client has said WONT or DONT to it, and says
    // nothing of it again.
    enum class Stance : std::uint8_t { Off, Asked, On, Refused };
    std::array<Stance, 256> ours_ {};
    std::array<Stance, 256> theirs_ {};
};

} // namespace line::telnet
