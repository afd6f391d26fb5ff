// Whatever a device server sends, cut into segments anywhere: the Telnet reader yields the same
// line bytes, answers and replies however the bytes are cut; its line bytes are exactly those a
// plain reading of the whole stream leaves outside Telnet commands, and its answers exactly the
// COM-PORT-OPTION subnegotiations that fit its bound; it tells Telnet in exactly the segments
// where a command arrives; what it holds between segments stays within its bound; and over its
// life it says each of WILL, WONT, DO and DONT at most once per option, so however long a server
// goes on asking, the replies stay within 4 x 256 commands of 3 bytes.
//
// Input: a byte c, then c % 8 segment lengths (each modulo 32, taken in turn, a zero making an
// empty segment), then the server's bytes. Each input is read in one piece, byte by byte, and in
// the segments of those lengths.

#include "fuzz_check.h"

#include "transport/telnet_codec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using fuzzcheck::require;
using line::telnet::kLongestSubnegotiation;
using line::telnet::Reader;

// Telnet's codes, written out here apart from the codec's.
constexpr std::uint8_t kIac = 0xFF;
constexpr std::uint8_t kSb = 0xFA;
constexpr std::uint8_t kWill = 0xFB; // then WONT 0xFC, DO 0xFD, DONT 0xFE
constexpr std::uint8_t kDont = 0xFE;
constexpr std::uint8_t kComPort = 44;
constexpr std::uint8_t kServerAnswer = 100;

// The stream read as a whole, without a state machine: the line's bytes, where each command's
// byte after its IAC stands, and the answers ("code + 100, value" each).
struct Plain {
    QByteArray data;
    std::vector<bool> commandAt;
    QList<QByteArray> answers;
};

std::uint8_t at(const QByteArray& stream, qsizetype i)
{
    return static_cast<std::uint8_t>(stream[i]);
}

// A subnegotiation's content from `from` to the IAC that ends it (any but a second IAC); returns
// where the stream goes on, or its size when the subnegotiation is unclosed.
qsizetype readSubnegotiation(const QByteArray& stream, qsizetype from, Plain& plain)
{
    QByteArray content;
    qsizetype i = from;
    for (; i < stream.size() && (at(stream, i) != kIac || i + 1 < stream.size()); ++i) {
        if (at(stream, i) != kIac) {
            content += stream[i];
        } else if (at(stream, i + 1) == kIac) {
            content += stream[++i];
        } else {
            plain.commandAt[static_cast<std::size_t>(i + 1)] = true;
            if (content.size() <= kLongestSubnegotiation && content.size() >= 2
                && at(content, 0) == kComPort && at(content, 1) > kServerAnswer)
                plain.answers << content.sliced(1);
            return i + 2;
        }
    }
    return stream.size();
}

Plain plainReading(const QByteArray& stream)
{
    Plain plain;
    plain.commandAt.assign(static_cast<std::size_t>(stream.size()), false);
    qsizetype i = 0;
    while (i + 1 < stream.size() || (i < stream.size() && at(stream, i) != kIac)) {
        if (at(stream, i) != kIac) {
            plain.data += stream[i++];
            continue;
        }
        const std::uint8_t verb = at(stream, i + 1);
        if (verb == kIac) {
            plain.data += stream[i + 1];
            i += 2;
            continue;
        }
        plain.commandAt[static_cast<std::size_t>(i + 1)] = true;
        i = verb == kSb                      ? readSubnegotiation(stream, i + 2, plain)
            : verb >= kWill && verb <= kDont ? i + 3
                                             : i + 2;
    }
    return plain;
}

struct Run {
    QByteArray data;
    QByteArray reply;
    QList<QByteArray> answers;
    bool refused = false;
};

// Over a reader's life, each of WILL, WONT, DO and DONT at most once per option, and nothing but
// such commands.
void checkReplies(const QByteArray& reply)
{
    require(reply.size() % 3 == 0, "the replies are whole three-byte commands");
    std::array<std::array<bool, 256>, 4> said {};
    for (qsizetype i = 0; i + 2 < reply.size(); i += 3) {
        const std::uint8_t verb = at(reply, i + 1);
        require(at(reply, i) == kIac && verb >= kWill && verb <= kDont,
            "a reply is IAC WILL, WONT, DO or DONT");
        bool& before = said[static_cast<std::size_t>(verb - kWill)][at(reply, i + 2)];
        require(!before, "each option is agreed to and refused at most once in each direction");
        before = true;
    }
}

// The stream read in segments ending at `ends`, held to what the plain reading says of each.
Run readInSegments(const QByteArray& stream, const std::vector<qsizetype>& ends, const Plain& plain)
{
    Reader reader;
    Run run;
    qsizetype from = 0;
    for (const qsizetype to : ends) {
        const Reader::Taken taken = reader.take(QByteArrayView(stream).sliced(from, to - from));
        require(reader.bufferedBytes() <= kLongestSubnegotiation, "the reader's buffer is bounded");
        const auto first = plain.commandAt.begin();
        require(taken.telnetSeen == std::any_of(first + from, first + to, [](bool b) { return b; }),
            "Telnet is seen in exactly the segments where a command's second byte arrives");
        run.data += taken.data;
        run.reply += taken.reply;
        for (const line::telnet::PortAnswer& answer : taken.answers)
            run.answers << static_cast<char>(answer.command + kServerAnswer) + answer.value;
        run.refused = run.refused || taken.portControlRefused;
        from = to;
    }
    checkReplies(run.reply);
    return run;
}

// The ends of segments of the chosen lengths, taken in turn until the stream is cut up.
std::vector<qsizetype> chosenEnds(const QByteArray& lengths, qsizetype size)
{
    std::vector<qsizetype> ends;
    const auto length = [&](qsizetype k) { return at(lengths, k) % 32; };
    bool moves = false;
    for (qsizetype k = 0; k < lengths.size(); ++k)
        moves = moves || length(k) != 0;
    if (!moves)
        return { size };
    for (qsizetype end = 0, k = 0; end < size; k = (k + 1) % lengths.size()) {
        end = std::min(size, end + length(k));
        ends.push_back(end);
    }
    return ends;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype head = input.isEmpty() ? 0 : 1;
    const qsizetype cuts = head == 0 ? 0 : std::min<qsizetype>(at(input, 0) % 8, input.size() - 1);
    const QByteArray lengths = input.sliced(head, cuts);
    const QByteArray stream = input.sliced(head + cuts);
    const Plain plain = plainReading(stream);

    std::vector<qsizetype> byteByByte(static_cast<std::size_t>(stream.size()));
    for (std::size_t i = 0; i < byteByByte.size(); ++i)
        byteByByte[i] = static_cast<qsizetype>(i + 1);

    const Run whole = readInSegments(stream, { stream.size() }, plain);
    require(whole.data == plain.data, "the line's bytes are those outside Telnet commands");
    require(whole.answers == plain.answers, "the answers are the port subnegotiations kept whole");
    for (const std::vector<qsizetype>& ends : { byteByByte, chosenEnds(lengths, stream.size()) }) {
        const Run run = readInSegments(stream, ends, plain);
        require(
            run.data == whole.data, "the line's bytes do not depend on where the bytes are cut");
        require(run.answers == whole.answers && run.reply == whole.reply
                && run.refused == whole.refused,
            "the answers and the replies do not depend on where the bytes are cut");
    }
    return 0;
}
