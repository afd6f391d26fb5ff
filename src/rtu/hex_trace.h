#pragma once

#include <QByteArray>
#include <QString>

namespace line {

// Each byte as two upper-case hex digits followed by one blank: 3 characters per byte.
QString hexTrace(const QByteArray& bytes);

} // namespace line
