#include "panel_view.h"

#include "frmmain/panel_widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace panelview {

QString shown(const QWidget& window, const QString& name)
{
    QWidget* control = window.findChild<QWidget*>(name);
    // Before QLabel: an indicator is a label that shows its colour.
    if (const auto* indicator = qobject_cast<Indicator*>(control))
        return indicator->colour().name();
    if (const auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (const auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<QPushButton*>(control))
        return button->text();
    if (const auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    return QStringLiteral("<no control>");
}

Panel panelOf(const QWidget& window, const QStringList& names)
{
    Panel panel;
    for (const QString& name : names)
        panel[name] = shown(window, name);
    return panel;
}

QString mismatches(const QWidget& window, const Panel& expected)
{
    QStringList differing;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (const QString text = shown(window, it.key()); text != it.value())
            differing
                << QStringLiteral("%1 shows \"%2\", not \"%3\"").arg(it.key(), text, it.value());
    }
    return differing.join(QStringLiteral("; "));
}

Panel overlaid(Panel panel, const Panel& changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        panel[it.key()] = it.value();
    return panel;
}

QStringList lines(const Panel& panel)
{
    QStringList out;
    for (auto it = panel.cbegin(); it != panel.cend(); ++it)
        out << it.key() + QLatin1Char('=') + it.value();
    return out;
}

void enter(const QWidget& window, const Panel& texts)
{
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        QWidget* control = window.findChild<QWidget*>(it.key());
        if (auto* combo = qobject_cast<QComboBox*>(control))
            combo->setEditText(it.value());
        else if (auto* field = qobject_cast<QLineEdit*>(control))
            field->setText(it.value());
        else
            QFAIL(qPrintable(QStringLiteral("no field or combo box %1").arg(it.key())));
    }
}

} // namespace panelview
