#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <string_view>

// Line settings, read and written here for the window and the command line alike.
namespace line {

// Line settings in the classic form "9600,N,8,1": baud, parity letter, data bits, stop bits.
struct PortSettings {
    qint32 baud = 9600;
    char parity = 'N'; // N, O or E
    int dataBits = 8; // 6, 7 or 8
    int stopBits = 1; // 1 or 2

    friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

// One parity as each place names it: the letter of "9600,N,8,1", the window's Combo3 text, the
// command line's word, and Qt's serial port.
struct Parity {
    char letter;
    std::u16string_view windowText;
    std::string_view word;
    QSerialPort::Parity serial;
};

inline constexpr std::array<Parity, 3> kParities { {
    { 'N', u"无校验", "none", QSerialPort::NoParity },
    { 'O', u"奇校验", "odd", QSerialPort::OddParity },
    { 'E', u"偶校验", "even", QSerialPort::EvenParity },
} };

std::optional<Parity> parityOfLetter(char letter);
std::optional<Parity> parityOfWindowText(QStringView text);
std::optional<Parity> parityOfWord(QStringView word);

// The parts of the line settings as typed: plain digits (no sign, blank or exponent) of a value
// the line supports, else nullopt.
std::optional<qint32> baudRate(QStringView text); // 1 to 999999999
std::optional<int> dataBits(QStringView text); // 6 to 8
std::optional<int> stopBits(QStringView text); // 1 or 2

// "无校验" -> N, "奇校验" -> O, "偶校验" -> E; any other text keeps the previous letter.
QString parityLetter(const QString& parityText, const QString& previous);

QString settingsString(const QString& baud, const QString& parityLetter, const QString& dataBits,
    const QString& stopBits);

// nullopt when a part is not one the line supports, e.g. a typed baud "abc" or a missing parity.
std::optional<PortSettings> parseSettings(const QString& settings);

} // namespace line
