#pragma once

// Without a usable display Qt ends the program in QApplication's constructor with qFatal: a
// page about reinstalling the application, abort() and a core dump. Around the constructor
// the platform's messages are held back; a fatal one becomes the one line of noDisplayLine()
// and exit status 1. Once the application is built, the held messages are passed on.
class StartupMessages {
public:
    StartupMessages();
    ~StartupMessages();
    StartupMessages(const StartupMessages&) = delete;
    StartupMessages& operator=(const StartupMessages&) = delete;
};
