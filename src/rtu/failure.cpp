#include "failure.h"

#include <algorithm>

namespace line {

const FailureKind& failureKind(Failure failure)
{
    const auto* kind = std::ranges::find(kFailureKinds, failure, &FailureKind::failure);
    Q_ASSERT(kind != kFailureKinds.end());
    return *kind;
}

bool isLineFailure(Failure failure)
{
    return failure >= Failure::Lost && failure <= Failure::Unusable;
}

QString failureText(Failure failure, const QString& detail)
{
    if (failure == Failure::None)
        return {};
    const QString text = QString::fromLatin1(failureKind(failure).text);
    return text.contains(QLatin1String("%1")) ? text.arg(detail) : text;
}

} // namespace line
