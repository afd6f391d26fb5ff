#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <map>
#include <optional>

namespace bridge {

// The client addresses a face accepts (--allow CIDR[,CIDR...]): by default the loopback ones,
// so that a face opened on the LAN serves nobody there until the operator names them.
class AllowList {
public:
    AllowList(); // 127.0.0.0/8 and ::1
    // The list given, or nothing with why it is none.
    static std::optional<AllowList> parsed(const QString& text, QString* why);

    bool allows(const QHostAddress& client) const;

private:
    QList<QPair<QHostAddress, int>> subnets_;
};

// One standard error line per refused address and minute at most: a client retrying in a loop
// must not fill the journal.
class RefusalNotes {
public:
    using Instant = std::chrono::milliseconds;
    static constexpr std::chrono::minutes kQuiet { 1 };

    // Whether a refusal of the address now should be said.
    bool shouldSay(const QHostAddress& client, Instant now);

private:
    std::map<QString, Instant> lastSaid_;
};

} // namespace bridge
