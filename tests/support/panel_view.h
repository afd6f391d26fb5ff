#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QWidget;

// The window's controls as an operator sees them, for comparing one state of the panel with
// another. Each control by its objectName: a field's or label's text, a button's caption, an
// indicator's colour, a combo box's text.
namespace panelview {

using Panel = QMap<QString, QString>;

// Indicator colours as shown() gives them.
inline const QString kGreen = QStringLiteral("#00ff00");
inline const QString kRed = QStringLiteral("#ff0000");
inline const QString kWhite = QStringLiteral("#ffffff");

// The twelve parameter fields: voltage, channel number, the frequencies of CH1 to CH5, then
// their duties.
inline const QStringList kParameterFields { "Text3", "Text12", "Text4", "Text5", "Text10", "Text11",
    "Text13", "Text6", "Text7", "Text8", "Text9", "Text14" };

// What the named control shows; "<no control>" when the window has none of that name.
QString shown(const QWidget& window, const QString& name);
// What each of the named controls shows.
Panel panelOf(const QWidget& window, const QStringList& names);
// Every control that shows something else than expected, with both texts; empty when none.
QString mismatches(const QWidget& window, const Panel& expected);

Panel overlaid(Panel panel, const Panel& changes);
// One line per control, so that a failed comparison names the control.
QStringList lines(const Panel& panel);

// Puts texts into fields and editable combo boxes, as typing or a paste does.
void enter(const QWidget& window, const Panel& texts);

} // namespace panelview
