#include "parameter_panel.h"

#include "device/parameter_value.h"
#include "key_filter.h"
#include "panel_builder.h"
#include "panel_widgets.h"
#include "text/quoted_text.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kWhite = 0xFFFFFFFF;

// How a switch shows on the panel: its button's captions, and the indicator box behind the
// button, green or red while on and white while off.
struct SwitchLook {
    device::ParameterId id;
    const char* onCaption;
    const char* offCaption;
    QRgb onColour;
    int indicator; // element of Label15
};

constexpr std::array<SwitchLook, device::kSwitchCount> kSwitchLooks { {
    { device::ParameterId::Ch1Output, "ON", "OFF", kGreen, 1 },
    { device::ParameterId::Ch2Output, "ON", "OFF", kGreen, 2 },
    { device::ParameterId::Ch3Output, "ON", "OFF", kGreen, 3 },
    { device::ParameterId::Ch4Output, "ON", "OFF", kGreen, 4 },
    { device::ParameterId::Ch5Output, "ON", "OFF", kGreen, 5 },
    { device::ParameterId::KeyLock, "Lock", "UnLock", kRed, 0 },
} };

constexpr bool looksFollowSwitches()
{
    for (std::size_t k = 0; k < kSwitchLooks.size(); ++k)
        if (kSwitchLooks[k].id != device::kSwitches[k])
            return false;
    return true;
}
static_assert(looksFollowSwitches());

} // namespace

ParameterPanel::ParameterPanel(const QHash<QString, QWidget*>& controls)
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i] = controlNamed<QLineEdit>(
            controls, quoting::latin1(device::parameter(device::kFields[i]).control));
    for (std::size_t k = 0; k < switchButtons_.size(); ++k) {
        switchButtons_[k] = controlNamed<QPushButton>(
            controls, quoting::latin1(device::parameter(device::kSwitches[k]).control));
        indicators_[k] = controlNamed<Indicator>(
            controls, QStringLiteral("Label15(%1)").arg(kSwitchLooks[k].indicator));
    }
    supply_ = controlNamed<QLabel>(
        controls, quoting::latin1(device::parameter(device::ParameterId::SupplyVoltage).control));
    baudRate_ = controlNamed<QComboBox>(
        controls, quoting::latin1(device::parameter(device::ParameterId::BaudRate).control));
}

void ParameterPanel::startUp()
{
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const device::Parameter& p = device::parameter(device::kFields[i]);
        new KeyFilter(p.input, fields_[i]);
        fields_[i]->setText(device::valueText(p, static_cast<device::Units>(p.startValue)));
    }
}

device::FieldTexts ParameterPanel::texts() const
{
    device::FieldTexts texts;
    std::ranges::transform(fields_, texts.begin(), &QLineEdit::text);
    return texts;
}

void ParameterPanel::setTexts(const device::FieldTexts& texts)
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(texts[i]);
}

void ParameterPanel::show(const device::Reading& reading)
{
    for (const device::Parameter& p : device::kParameters) {
        if (!reading.carries(p.id))
            continue;
        const device::Units units = reading.values[device::indexOf(p.id)];
        switch (p.kind) {
        case device::Kind::Number:
            if (const std::size_t i = device::positionIn(device::kFields, p.id);
                i < fields_.size()) {
                fields_[i]->setText(device::valueText(p, units));
            } else {
                // The measured supply voltage reads with its unit, "12.34V".
                supply_->setText(device::valueText(p, units) + quoting::latin1(p.unit));
                supply_->adjustSize();
            }
            break;
        case device::Kind::Switch:
            showSwitch(
                device::positionIn(device::kSwitches, p.id), static_cast<std::int16_t>(units));
            break;
        case device::Kind::BaudCode:
            // A code the module should not report leaves the list as it is.
            if (units < device::kBaudRates.size())
                baudRate_->setCurrentIndex(static_cast<int>(units));
            break;
        }
    }
}

void ParameterPanel::showSwitch(std::size_t k, std::int16_t state)
{
    const SwitchLook& look = kSwitchLooks[k];
    const bool on = state == 1;
    switchButtons_[k]->setText(QString::fromLatin1(on ? look.onCaption : look.offCaption));
    indicators_[k]->setColour(QColor::fromRgb(on ? look.onColour : kWhite));
}
