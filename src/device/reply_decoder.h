#pragma once

#include "device/parameter_set.h"
#include "device/toggles.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace device {

// One change to one panel control, named by its objectName.
struct PanelEdit {
    enum class Kind {
        Text, // set the text or caption of control
        Toggle, // set the caption of button control and the colour of indicator
        ComboIndex, // select item comboIndex of control (its text is text)
    };

    std::uint16_t address; // the register that caused the edit
    Kind kind;
    QString control;
    QString text;
    QString indicator {};
    IndicatorColour colour = IndicatorColour::White;
    int comboIndex = 0;

    friend bool operator==(const PanelEdit&, const PanelEdit&) = default;
};

struct DecodedReply {
    std::vector<PanelEdit> edits; // in ascending register order
    ParameterSet parameters;
};

// Turns an accepted reply into panel edits and the updated parameter set. Only a read reply
// (function 0x03 with a byte count that matches its length, 1 to 26 registers from 0x0000)
// changes anything; for any other reply edits is empty and parameters is current.
// A shorter read changes only the registers it carries, and a frequency only when it carries
// both of its words. Values that overflow the signed fields keep their bit pattern there
// (so an output above 32767 counts as off) while the panel shows the unsigned value.
DecodedReply decodedReply(const QByteArray& reply, const ParameterSet& current);

} // namespace device
