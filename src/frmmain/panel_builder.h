#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

// Builds every control of the fixed layout into the window, named as the layout names it
// (objectName and accessibleDescription), and returns them by name.
QHash<QString, QWidget*> buildPanel(QWidget* window);

// The control of that name and kind. Stops the program when there is none, so that a renamed
// control shows at start-up rather than at the first click.
template <typename T> T* controlNamed(const QHash<QString, QWidget*>& controls, const QString& name)
{
    auto* control = qobject_cast<T*>(controls.value(name));
    if (!control)
        qFatal("the panel has no control %s of the kind the window needs", qPrintable(name));
    return control;
}

// "宋体" where the system has it, else a Chinese font that Linux desktops ship.
QString panelFontFamily();
