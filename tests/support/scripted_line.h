#pragma once

#include "transport/line.h"

#include <QByteArray>

#include <functional>
#include <vector>

// A line whose modules are a function: each frame written gets the bytes the function gives,
// at once, from the event loop; nothing for silence. It records every frame written, so that a
// test sees what reached the line, and can be lost on demand.
class ScriptedLine final : public line::Line {
    Q_OBJECT

public:
    using Modules = std::function<QByteArray(const QByteArray& frame)>;

    static line::LineAddress address();

    explicit ScriptedLine(Modules modules, QObject* parent = nullptr);

    std::optional<line::LineFault> open(const line::PortSettings& settings) override;
    std::optional<line::LineFault> changeSettings(const line::PortSettings& settings) override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void discardInput() override { input_.clear(); }

    // The device goes away, as an unplugged adapter does.
    void unplug();

    const std::vector<QByteArray>& written() const { return written_; }

private:
    Modules modules_;
    QByteArray input_;
    std::vector<QByteArray> written_;
    bool open_ = false;
};
