#include "ca_file.h"

#include "device/parameter_value.h"
#include "ports/file_kind.h"
#include "text/quoted_text.h"

#include <QFile>

namespace cli {

namespace {

// A bundle of every public CA is about 200 KiB.
constexpr qint64 kMostRead = 4 * 1024 * 1024;

} // namespace

bool holdsPemCertificate(QByteArrayView text)
{
    const QByteArrayView begin("-----BEGIN CERTIFICATE-----");
    const qsizetype at = text.indexOf(begin);
    return at >= 0 && text.indexOf(QByteArrayView("-----END CERTIFICATE-----"), at) > at;
}

std::optional<QString> caFileFault(const QString& path)
{
    const QString name = QStringLiteral("--ca-file %1: ").arg(quoting::escapedControls(path));
    QFile file;
    QString why;
    const line::FileKind kind = line::openForReading(path, file, &why);
    if (kind != line::FileKind::Regular)
        return name + (why.isEmpty() ? QStringLiteral("is %1").arg(line::kindText(kind)) : why);
    const QByteArray text = file.read(kMostRead);
    if (file.error() != QFileDevice::NoError)
        return name + file.errorString();
    if (!holdsPemCertificate(text))
        return name + QStringLiteral("holds no PEM certificate");
    return std::nullopt;
}

} // namespace cli
