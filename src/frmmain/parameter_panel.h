#pragma once

#include "device/parameter_set.h"
#include "device/reply_decoder.h"
#include "device/write_all.h"

#include <QHash>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class Indicator;

// The controls that show the module's parameters, found once by the names the parameter table
// gives, and the one place that turns module values into what they show.
class ParameterPanel {
public:
    // Stops the program when a control the table names is missing or of another kind.
    explicit ParameterPanel(const QHash<QString, QWidget*>& controls);

    // Installs each field's input rule and shows the start-up values.
    void startUp();

    device::FieldTexts texts() const;
    void setTexts(const device::FieldTexts& texts);

    // Shows every parameter the reading carries, in register order.
    void show(const device::Reading& reading);

    // Switch k of device::kSwitches: its button's caption and its indicator's colour.
    void showSwitch(std::size_t k, std::int16_t state);
    QPushButton* switchButton(std::size_t k) const { return switchButtons_[k]; }

private:
    std::array<QLineEdit*, device::kFieldCount> fields_ {}; // voltage, frequencies, duties, channel
    std::array<QPushButton*, device::kSwitchCount> switchButtons_ {};
    std::array<Indicator*, device::kSwitchCount> indicators_ {};
    QLabel* supply_ = nullptr;
    QComboBox* baudRate_ = nullptr;
};
