#pragma once

#include "transport/line.h"
#include "transport/server_connection.h"

namespace line {

// A serial line behind a device server, raw TCP or RFC 2217.
class ServerLine final : public Line {
    Q_OBJECT

public:
    explicit ServerLine(LineAddress address, QObject* parent = nullptr);
    // The connection closes without a word: nothing is lost when its owner goes.
    ~ServerLine() override;

    std::optional<LineFault> open(const PortSettings& settings) override;
    std::optional<LineFault> changeSettings(const PortSettings& settings) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void discardInput() override;

private:
    // Waits while the connection connects or negotiates, within its deadline.
    std::optional<LineFault> settle();
    void onChanged();

    ServerConnection connection_;
    bool open_ = false; // opened, and not closed or lost since
};

} // namespace line
