#pragma once

class QWidget;

// SIGINT and SIGTERM (Ctrl+C in the terminal that started the tool, a session ending) close
// the window as its close button does, so the port is released and the settings are stored.
// On Windows the console's Ctrl+C, Ctrl+Break and close events do the same.
void closeOnStopSignals(QWidget* window);
