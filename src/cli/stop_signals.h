#pragma once

#include <QObject>
#include <QString>

namespace cli {

// What ended a command before its time.
enum class Stop { None, Interrupt, Terminate, HangUp, BrokenPipe };

// SIGINT, SIGTERM, SIGHUP and SIGPIPE (on Windows the console's Ctrl+C, Ctrl+Break and close)
// for the rest of the run: the first sets the stop, and stopped() is emitted from the event loop
// that a wait of the line runs, so that the wait ends at once. A closed terminal (SIGHUP) ends a
// command as SIGTERM does, with the port closed; a SIGHUP ignored at start (nohup) stays so.
class StopSignals : public QObject {
    Q_OBJECT

public:
    // Catches the signals for as long as it lives; one in a program.
    StopSignals();
    ~StopSignals() override;
    // The one that catches them now, or none.
    static StopSignals* current() { return current_; }

    Stop stop() const { return stop_; }
    // Records a stop and announces it; only the first counts.
    void request(Stop stop);

signals:
    void stopped();

private:
    static StopSignals* current_;
    Stop stop_ = Stop::None;
};

// As shells report a program that a signal ended: 128 plus the signal's number.
int exitStatusOf(Stop stop);

// What ended the command, as a message says it: "interrupted", "terminated", "hung up", or "the
// reader of standard output went away" (a closed pipe is no interruption).
QString stopText();

} // namespace cli
