#pragma once

#include <QString>

#include <optional>

namespace line {

// Line settings in the classic form "9600,N,8,1": baud, parity letter, data bits, stop bits.
struct PortSettings {
    qint32 baud = 9600;
    char parity = 'N'; // N, O or E
    int dataBits = 8; // 6, 7 or 8
    int stopBits = 1; // 1 or 2

    friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

// "无校验" -> N, "奇校验" -> O, "偶校验" -> E; any other text keeps the previous letter.
QString parityLetter(const QString& parityText, const QString& previous);

QString settingsString(const QString& baud, const QString& parityLetter, const QString& dataBits,
    const QString& stopBits);

// nullopt when a part is not one the line supports, e.g. a typed baud "abc" or a missing parity.
std::optional<PortSettings> parseSettings(const QString& settings);

} // namespace line
