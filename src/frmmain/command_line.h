#pragma once

#include <QString>
#include <QStringList>

// What pwm5's own arguments ask for. The window takes none: the port, its settings and the
// slave address are chosen in it. --help and --version answer on the terminal and end before
// any window, display or settings file is touched.
struct StartupRequest {
    enum Action { Window, Help, Version, Refuse } action = Window;
    QString text; // what to print: help or version on stdout, the refusal on stderr
};

// arguments without the program's name.
StartupRequest startupRequest(const QStringList& arguments);

// The one line for a start that found no usable display, from the platform's warnings so
// far and the DISPLAY it was given.
QString noDisplayLine(const QStringList& platformWarnings, const QString& display);
