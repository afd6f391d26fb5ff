#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

// Builds every control of the fixed layout into the window, named as the layout names it
// (objectName and accessibleDescription), and returns them by name.
QHash<QString, QWidget*> buildPanel(QWidget* window);

// "宋体" where the system has it, else a Chinese font that Linux desktops ship.
QString panelFontFamily();
