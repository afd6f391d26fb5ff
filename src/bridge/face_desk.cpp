#include "face_desk.h"

#include "bridge/line_owner.h"
#include "device/parameters.h"
#include "modbus/tcp_frame.h"
#include "modbus/words.h"

namespace bridge {

namespace {

UnitState unitState(const LineOwner& owner, std::uint8_t unit)
{
    const ModuleState* m = owner.module(unit);
    UnitState state { m != nullptr, std::nullopt };
    if (m && m->last)
        state.baudCode = static_cast<std::uint16_t>(
            m->last->values[device::indexOf(device::ParameterId::BaudRate)]);
    return state;
}

} // namespace

FaceDesk::FaceDesk(LineOwner& owner, FaceServer& face, DeskSettings settings, QObject* parent)
    : QObject(parent)
    , owner_(owner)
    , face_(face)
    , settings_(settings)
{
    connect(&face_, &FaceServer::request, this, &FaceDesk::take);
    connect(&face_, &FaceServer::closed, this, [this](int connection) {
        owner_.drop(connection);
        writesWaiting_.erase(connection);
    });
}

void FaceDesk::take(const FaceRequest& request)
{
    const FaceDecision decision
        = decideFaceRequest(request.pdu, unitState(owner_, request.unit), settings_.rules);
    const auto function = request.pdu.isEmpty() ? std::uint8_t(0) : std::uint8_t(request.pdu[0]);
    switch (decision.verdict) {
    case FaceVerdict::NoSuchUnit:
        return face_.answer(request.ticket, { FaceReply::NoSuchUnit, line::Failure::None, {} });
    case FaceVerdict::Refused:
        if (decision.movesModule)
            emit note(QStringLiteral("refused a write to module %1 that would move it off the line "
                                     "(its address, or another baud rate)")
                          .arg(request.unit));
        return face_.answer(request.ticket,
            { FaceReply::Pdu, line::Failure::None,
                modbus::exceptionPdu(function, decision.exceptionCode) });
    case FaceVerdict::Read:
    case FaceVerdict::Write:
        break;
    }
    // An offline module is probed by the poll alone: a client hears at once that it is away.
    if (owner_.offline(request.unit))
        return face_.answer(request.ticket, { FaceReply::FromLine, line::Failure::NoReply, {} });
    const bool write = decision.verdict == FaceVerdict::Write;
    // A read sent behind the client's own write must see it: it waits its turn on the line.
    if (!write && settings_.maxAge && !writesWaiting_.contains(request.connection)) {
        const std::uint16_t count = modbus::wordAt(request.pdu, 3);
        if (const auto data = owner_.held().answer(request.unit, modbus::wordAt(request.pdu, 1),
                count, owner_.now(), *settings_.maxAge)) {
            const QByteArray pdu = QByteArray(1, char(function))
                + QByteArray(1, static_cast<char>(data->size())) + *data;
            return face_.answer(request.ticket, { FaceReply::Pdu, line::Failure::None, pdu });
        }
    }
    if (write)
        ++writesWaiting_[request.connection];
    owner_.submit(request.connection, write ? LineQueue::Kind::Write : LineQueue::Kind::Read,
        [this, request, write] { serve(request, write); });
}

void FaceDesk::serve(const FaceRequest& request, bool write)
{
    // The master frames it.
    const line::Answer answer
        = owner_.ask(request.unit, QByteArray(1, static_cast<char>(request.unit)) + request.pdu);
    face_.answer(request.ticket, { FaceReply::FromLine, answer.failure, answer.reply });
    if (write && answer.ok())
        owner_.written(request.unit);
    else if (answer.ok())
        owner_.held().read(request.unit, modbus::wordAt(request.pdu, 1),
            registerData(answer.view().registerBytes), owner_.now());
    // Only once what was held is known to be old.
    if (write)
        settle(request.connection);
}

void FaceDesk::settle(int connection)
{
    const auto waiting = writesWaiting_.find(connection);
    if (waiting != writesWaiting_.end() && --waiting->second == 0)
        writesWaiting_.erase(waiting);
}

} // namespace bridge
