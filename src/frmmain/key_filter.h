#pragma once

#include "device/parameters.h"

#include <QObject>

class QKeyEvent;
class QLineEdit;

// Whether a key press reaches the field. Decided by the key rather than by the event's text
// alone, because real X11 events carry text for keys that type nothing (0x7f for Delete,
// 0x16 for Ctrl+V) and synthetic ones do not. Keys that type no character (Delete, arrows,
// Home, End, Tab) pass; Backspace and the control characters of Ctrl+letter are cancelled;
// a printable character passes when the rule allows it and the field, less its selection,
// is shorter than the rule's maximum. Text the program writes into a field is never cut.
bool keyPasses(
    const QKeyEvent& event, const device::InputRule& rule, int textLength, int selectedLength);

// Installs the rule on a line edit as an event filter.
class KeyFilter : public QObject {
    Q_OBJECT

public:
    KeyFilter(device::InputRule rule, QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    device::InputRule rule_;
};
