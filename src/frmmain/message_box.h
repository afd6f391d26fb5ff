#pragma once

#include <QString>

class QWidget;

// A modal box with one fixed text, an OK button only and the application's title.
void showMessage(QWidget* parent, const QString& text);
