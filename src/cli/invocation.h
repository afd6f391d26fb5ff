#pragma once

#include "command_table.h"

#include "device/requests.h"
#include "ports/line_address.h"
#include "rtu/port_settings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What one call of pwm5ctl asks for, checked before anything touches the line.
namespace cli {

struct Invocation {
    std::optional<CommandId> command; // nothing when none was given or it is no command
    QString commandName() const;
    QStringList arguments;

    QString port; // as given ("COM3", "/dev/ttyUSB0"), or from the settings file
    line::ResolvedLine where; // the line the port names, resolved once for the whole call
    QStringList notes; // what of the settings file was used in place of a bad value, one line each
    line::PortSettings line;
    int address = 1; // the first of modules
    QList<int> modules { 1 }; // -a 1-4,17: read, set, apply, verify and monitor serve each
    int timeoutMs = 200;
    bool json = false;
    bool verbose = false;

    bool clamp = false; // set
    bool verify = true; // address, baud
    QList<int> bauds; // scan, in the order to try
    QList<int> addresses; // scan
    bool all = false; // scan
    int intervalMs = 1000; // monitor
    int count = 0; // monitor: rounds; 0 until Ctrl+C
    bool csv = false; // monitor
    int settleMs = 10; // adopt
    QString topicPrefix; // bridge
    QString passwordFile; // bridge
    QString caFile; // bridge
    bool discovery = false; // bridge
    QString discoveryPrefix; // bridge
    QString modbusTcp; // bridge: [HOST:]PORT, as given; empty: no such face
    QString rtuTcp; // bridge
    QString allow; // bridge: as given; empty: the loopback addresses
    int maxClients = 16; // bridge, per face
    std::optional<int> maxAgeMs; // bridge
    bool readOnly = false; // bridge
};

struct Parsed {
    enum class Outcome { Run, Help, Version, Wrong };
    Outcome outcome = Outcome::Wrong;
    Invocation invocation;
    QString text; // the help, the version or what is wrong
};

// arguments[0] is the program. Reads the settings file in the working directory for the port
// and the rate that the command line leaves out.
Parsed parsedInvocation(const QStringList& arguments);

// A number of plain ASCII digits from lowest to highest: no sign, no blanks.
std::optional<int> wholeNumber(const QString& text, int lowest, int highest);

// "1-10,17,20-22": each address once, in the order given; nullopt when a part is no address
// 1 to 247 or a range runs backwards. Given Repeats::Refused, also when an address comes twice.
enum class Repeats { Merged, Refused };
std::optional<QList<int>> addressList(const QString& text, Repeats repeats = Repeats::Merged);

} // namespace cli
