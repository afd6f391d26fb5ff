#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The bridge's topics: P/bridge, and P/A/availability, state, set, set/NAME and result for the
// module at address A (in decimal) under the prefix P.
namespace cli {

// MQTT carries a topic as a length of 16 bits and then its UTF-8.
inline constexpr qsizetype kMostTopicBytes = 65535;

// The text with every character outside A-Z, a-z, 0-9, _ and - written as _: what a topic
// level and an id may hold without a second thought.
QString plainLevel(QString text);

// The first level of every default prefix.
inline constexpr QStringView kDefaultRoot = u"pwm5";

// pwm5/NAME, NAME being the port as given, its last path element with every character outside
// A-Z, a-z, 0-9, _ and - written as _: COM1 gives pwm5/COM1, /dev/ttyUSB0 gives pwm5/ttyUSB0,
// tcp:10.0.0.5:4001 gives pwm5/tcp_10_0_0_5_4001.
QString defaultTopicPrefix(const QString& port);

// Why the text cannot be a prefix ("holds a wildcard, + or #"), or nothing: a wildcard, an
// empty level, a leading / or $, a control character, a noncharacter or half a surrogate pair
// (which UTF-8 cannot carry). Its length is judged with the topics made from it.
std::optional<QString> topicPrefixRefusal(QStringView prefix);

// The first hexDigits hex digits of the SHA-256 of the text's UTF-8: a short name that tells
// two texts apart.
QString hashOf(QStringView text, int hexDigits);

// The bridge's MQTT client id: pwm5-, 12 hex digits of the prefix's hash, - and the instance
// (the process id). Ids differ wherever prefixes do, and a restarted bridge never takes over
// the session of one that still runs.
QString clientIdOf(QStringView prefix, qint64 instance);

struct Topics {
    QString prefix;

    QString bridge() const;
    QString availability(int address) const;
    QString state(int address) const;
    QString set(int address) const; // the JSON form
    QString setName(int address, QStringView name) const; // one parameter
    QString result(int address) const;
    // The result of a command on P/LEVEL/set, whatever the level holds.
    QString result(QStringView level) const;
    // What the bridge subscribes to: both set forms of every address.
    QString setFilter() const;
    QString setNameFilter() const;
};

// The module address a topic level names: 1 to 247, in plain digits without a leading zero.
std::optional<int> addressLevel(QStringView level);

// A command's topic taken apart: its address level as given, the address when the level is
// one, and the parameter's name for the bare-value form (empty for the JSON form). Nothing for
// a topic that is no command's.
struct CommandTopic {
    QString level;
    std::optional<int> address;
    QString name;
};
std::optional<CommandTopic> commandTopic(const Topics& topics, QStringView topic);

} // namespace cli
