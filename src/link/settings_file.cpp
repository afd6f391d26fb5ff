#include "settings_file.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace line {

namespace {

// Two short lines are all there is to read; a huge file is not read whole.
constexpr qint64 kReadLimit = 4096;
constexpr qsizetype kMaxBaudText = 16;

QByteArray withoutLineEnd(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool isPlainText(const QByteArray& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

} // namespace

StoredPort parseStoredPort(const QByteArray& content)
{
    StoredPort stored;
    const QList<QByteArray> lines = content.left(kReadLimit).split('\n');
    if (lines.isEmpty() || content.isEmpty())
        return stored;

    const QByteArray port = withoutLineEnd(lines.at(0)).trimmed();
    stored.portNumber
        = (port.size() == 1 && port.at(0) >= '0' && port.at(0) <= '9') ? port.at(0) - '0' : 0;

    if (lines.size() > 1) {
        const QByteArray baud = withoutLineEnd(lines.at(1));
        if (!baud.isEmpty() && baud.size() <= kMaxBaudText && isPlainText(baud))
            stored.baud = QString::fromLatin1(baud);
    }
    return stored;
}

QByteArray formatStoredPort(int portNumber, const QString& baud)
{
    return QByteArray::number(portNumber) + "\r\n" + baud.toLocal8Bit() + "\r\n";
}

StoredPort loadStoredPort(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseStoredPort(file.read(kReadLimit));
}

bool storeStoredPort(const QString& path, int portNumber, const QString& baud, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(formatStoredPort(portNumber, baud)) >= 0
        && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace line
