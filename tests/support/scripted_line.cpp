#include "scripted_line.h"

#include <QTimer>

line::LineAddress ScriptedLine::address()
{
    return line::LineAddress::serialDevice(QStringLiteral("/scripted"), QStringLiteral("scripted"));
}

ScriptedLine::ScriptedLine(Modules modules, QObject* parent)
    : Line(address(), parent)
    , modules_(std::move(modules))
{
}

std::optional<line::LineFault> ScriptedLine::open(const line::PortSettings& settings)
{
    setSettings(settings);
    clearLoss();
    input_.clear();
    open_ = true;
    return std::nullopt;
}

std::optional<line::LineFault> ScriptedLine::changeSettings(const line::PortSettings& settings)
{
    setSettings(settings);
    return std::nullopt;
}

bool ScriptedLine::write(const QByteArray& bytes)
{
    if (!open_)
        return false;
    written_.push_back(bytes);
    const QByteArray reply = modules_(bytes);
    if (!reply.isEmpty())
        QTimer::singleShot(0, this, [this, reply] {
            if (!open_)
                return;
            input_ += reply;
            emit readyRead();
        });
    return true;
}

QByteArray ScriptedLine::readAll()
{
    return std::exchange(input_, {});
}

void ScriptedLine::unplug()
{
    open_ = false;
    announceLoss({ line::Failure::Lost, QStringLiteral("the device went away") });
}
