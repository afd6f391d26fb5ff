#include "failure.h"

#include <algorithm>

namespace line {

namespace {

// The Modbus names of the exception codes 1 to 6.
QString exceptionName(std::uint8_t code)
{
    static constexpr std::array<const char*, 6> kNames { "illegal function", "illegal data address",
        "illegal data value", "server device failure", "acknowledge", "server device busy" };
    return code >= 1 && code <= kNames.size() ? QString::fromLatin1(kNames[code - 1U])
                                              : QStringLiteral("unknown exception");
}

QString twoDigits(std::uint8_t byte)
{
    return QString::number(byte, 16).rightJustified(2, u'0').toUpper();
}

QString lengthDetail(ReplyState state)
{
    switch (state) {
    case ReplyState::TooLong:
        return QStringLiteral("too long");
    case ReplyState::WrongByteCount:
        return QStringLiteral("with a wrong byte count");
    default:
        return QStringLiteral("too short");
    }
}

} // namespace

const FailureKind& failureKind(Failure failure)
{
    const auto* kind = std::ranges::find(kFailureKinds, failure, &FailureKind::failure);
    Q_ASSERT(kind != kFailureKinds.end());
    return *kind;
}

Failure failureOf(const ReplyProgress& progress, qsizetype receivedBytes)
{
    switch (progress.state) {
    case ReplyState::Complete:
        return Failure::None;
    case ReplyState::Incomplete:
        return receivedBytes == 0 ? Failure::NoReply : Failure::WrongLength;
    case ReplyState::Exception:
        return Failure::Exception;
    case ReplyState::WrongAddress:
        return Failure::WrongSlave;
    case ReplyState::WrongFunction:
        return Failure::WrongFunction;
    case ReplyState::WrongByteCount:
    case ReplyState::TooLong:
        return Failure::WrongLength;
    case ReplyState::BadCrc:
        return Failure::BadCrc;
    case ReplyState::WrongEcho:
        return Failure::WrongEcho;
    }
    return Failure::WrongLength;
}

QString failureText(Failure failure, const QString& detail)
{
    if (failure == Failure::None)
        return {};
    const QString text = QString::fromLatin1(failureKind(failure).text);
    return text.contains(QLatin1String("%1")) ? text.arg(detail) : text;
}

QString replyFailureText(
    Failure failure, const ReplyProgress& progress, const QByteArray& received, int timeoutMs)
{
    switch (failure) {
    case Failure::NoReply:
        return failureText(failure, QString::number(timeoutMs));
    case Failure::Exception:
        return failureText(failure,
            QStringLiteral("%1 (%2)").arg(
                twoDigits(progress.exceptionCode), exceptionName(progress.exceptionCode)));
    case Failure::WrongSlave:
        return failureText(failure, QString::number(static_cast<std::uint8_t>(received.at(0))));
    case Failure::WrongFunction:
        return failureText(failure,
            received.size() > 1 ? twoDigits(static_cast<std::uint8_t>(received.at(1)))
                                : QStringLiteral("none"));
    case Failure::WrongLength:
        return failureText(failure, lengthDetail(progress.state));
    default:
        return failureText(failure, {});
    }
}

} // namespace line
