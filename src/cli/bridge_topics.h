#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The bridge's topics: P/bridge, and P/A/availability, state, set, set/NAME and result for the
// module at address A (in decimal) under the prefix P.
namespace cli {

// The text with every character outside A-Z, a-z, 0-9, _ and - written as _: what a topic
// level and an id may hold without a second thought.
QString plainLevel(QString text);

// pwm5/NAME, NAME being the port as given, its last path element with every character outside
// A-Z, a-z, 0-9, _ and - written as _: COM1 gives pwm5/COM1, /dev/ttyUSB0 gives pwm5/ttyUSB0,
// tcp:10.0.0.5:4001 gives pwm5/tcp_10_0_0_5_4001.
QString defaultTopicPrefix(const QString& port);

// Why the text cannot be a prefix ("holds a wildcard, + or #"), or nothing: a wildcard, an
// empty level, a leading /.
std::optional<QString> topicPrefixRefusal(QStringView prefix);

struct Topics {
    QString prefix;

    QString bridge() const;
    QString availability(int address) const;
    QString state(int address) const;
    QString set(int address) const; // the JSON form
    QString setName(int address, QStringView name) const; // one parameter
    QString result(int address) const;
    // What the bridge subscribes to: both set forms of every address.
    QString setFilter() const;
    QString setNameFilter() const;
};

// A command's topic taken apart: the address, and the parameter's name for the bare-value form
// (empty for the JSON form). Nothing for a topic that is no command's.
struct CommandTopic {
    int address;
    QString name;
};
std::optional<CommandTopic> commandTopic(const Topics& topics, QStringView topic);

} // namespace cli
