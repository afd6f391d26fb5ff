#include "startup_messages.h"

#include "command_line.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string file;
    int line;
    std::string function;
    std::string category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
std::vector<HeldMessage> held;

bool isPlatformCategory(const char* category)
{
    return category && QByteArray(category).startsWith("qt.qpa");
}

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        QStringList platformWarnings;
        for (const HeldMessage& m : held)
            if (isPlatformCategory(m.category.c_str()))
                platformWarnings << m.text.trimmed();
        const QString line = noDisplayLine(platformWarnings, qEnvironmentVariable("DISPLAY"));
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (!isPlatformCategory(context.category)) {
        previousHandler(type, context, text);
        return;
    }
    held.push_back({ type, context.file ? context.file : "", context.line,
        context.function ? context.function : "", context.category, text });
}

} // namespace

StartupMessages::StartupMessages()
{
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

StartupMessages::~StartupMessages()
{
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(
            m.file.c_str(), m.line, m.function.c_str(), m.category.c_str());
        previousHandler(m.type, context, m.text);
    }
    held.clear();
}
