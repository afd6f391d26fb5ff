#pragma once

#include "bridge/face_request.h"
#include "bridge/face_server.h"

#include <QObject>

#include <chrono>
#include <map>
#include <optional>

namespace bridge {

class LineOwner;

struct DeskSettings {
    FaceRules rules;
    // --max-age: a read of registers that the module's last good read held, not older than
    // this, is answered from it at once; none: every read goes to the line.
    std::optional<std::chrono::milliseconds> maxAge;
};

// Between a face and the line's owner: each request the face gets is decided (refused, answered
// from what the owner holds, or handed to the line in its turn), and its answer goes back to
// the face. A write that reached a module has the owner read it before any other poll.
class FaceDesk final : public QObject {
    Q_OBJECT

public:
    FaceDesk(LineOwner& owner, FaceServer& face, DeskSettings settings, QObject* parent = nullptr);

signals:
    // A line for standard error.
    void note(const QString& text);

private:
    void take(const FaceRequest& request);
    void serve(const FaceRequest& request, bool write);

    void settle(int connection);

    LineOwner& owner_;
    FaceServer& face_;
    DeskSettings settings_;
    // A connection's writes that have not been answered yet, by connection: until they have,
    // its reads go to the line behind them, never to what was held from before.
    std::map<int, int> writesWaiting_;
};

} // namespace bridge
