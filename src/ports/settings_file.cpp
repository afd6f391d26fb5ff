#include "settings_file.h"

#include "file_kind.h"
#include "rtu/port_settings.h"

#include "text/quoted_text.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace line {

namespace {

// Two short lines are all there is to read; a huge file is not read whole.
constexpr qint64 kReadLimit = 4096;

QByteArray withoutLineEnd(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// A line as a note quotes it: bytes that are no printable ASCII as \xNN, so that a file cannot
// send control sequences to the terminal.
QString quoted(const QByteArray& text)
{
    QString shown;
    for (const char c : text)
        shown += c >= 0x20 && c < 0x7F
            ? QString(QLatin1Char(c))
            : QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\"%1\"").arg(quoting::quotedValue(shown));
}

// What stands at path in place of a regular file: "is a FIFO", "links to /dev/x, which is a
// character device".
QString notRegular(const QString& path, FileKind kind)
{
    const QString target = linkTarget(path);
    return (target.isEmpty() ? QStringLiteral("is %1")
                             : QStringLiteral("links to %1, which is %2").arg(target))
               .arg(kindText(kind))
        + QStringLiteral(", not a regular file");
}

} // namespace

LoadedPort parseStoredPort(const QByteArray& content)
{
    LoadedPort loaded;
    const QList<QByteArray> lines = content.left(kReadLimit).split('\n');
    const QByteArray port = withoutLineEnd(lines.at(0)).trimmed();
    if (port.size() == 1 && port.at(0) >= '0' && port.at(0) <= '9')
        loaded.stored.portNumber = port.at(0) - '0';
    else if (!port.isEmpty())
        loaded.portNote = QStringLiteral("port %1 is not 0 to 9; using COM%2")
                              .arg(quoted(port))
                              .arg(loaded.stored.portNumber);

    const QByteArray baud = lines.size() > 1 ? withoutLineEnd(lines.at(1)) : QByteArray();
    if (baudRate(QString::fromLatin1(baud)))
        loaded.stored.baud = QString::fromLatin1(baud);
    else if (!baud.isEmpty())
        loaded.baudNote = QStringLiteral("baud rate %1 is not a rate; using %2")
                              .arg(quoted(baud), loaded.stored.baud);
    return loaded;
}

QByteArray formatStoredPort(int portNumber, const QString& baud)
{
    return QByteArray::number(portNumber) + "\r\n" + baud.toLocal8Bit() + "\r\n";
}

LoadedPort loadStoredPort(const QString& path)
{
    QFile file;
    const FileKind kind = openForReading(path, file);
    if (kind == FileKind::Missing && linkTarget(path).isEmpty())
        return {};
    if (kind != FileKind::Regular) {
        LoadedPort loaded;
        loaded.fileNote = path + u' ' + notRegular(path, kind) + QStringLiteral("; it is not read");
        return loaded;
    }
    LoadedPort loaded = parseStoredPort(file.read(kReadLimit));
    for (QString* note : { &loaded.portNote, &loaded.baudNote })
        if (!note->isEmpty())
            note->prepend(path + QStringLiteral(": "));
    return loaded;
}

bool storeStoredPort(const QString& path, int portNumber, const QString& baud, QString* error)
{
    // A link is followed to a regular file only: never over a device, or to make a new file
    // wherever a planted link points.
    if (const FileKind kind = kindAt(path);
        kind != FileKind::Regular && (kind != FileKind::Missing || !linkTarget(path).isEmpty())) {
        if (error)
            *error = QStringLiteral("it ") + notRegular(path, kind)
                + QStringLiteral("; it is left as it is");
        return false;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(formatStoredPort(portNumber, baud)) >= 0
        && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace line
