#pragma once

#include "exit_code.h"

#include "line/master.h"
#include "rtu/failure.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace cli {

// A failure of a call, made where it happens and said once (Console::say): on stderr as
// "pwm5ctl: TEXT", and with --json as its line on stdout,
// {"ok":false,"failure":KIND,"error":TEXT}, with "address" and "exception_code" for a module's.
struct Report {
    int exitCode = kModuleFault;
    line::Failure failure = line::Failure::None; // None: no kind of its own (nothing found)
    QString text; // the failure in its own words, JSON's "error"
    // Said ahead of text on the terminal only: "module 3: ch1.duty". A module's JSON line names
    // the module by its address and keeps the answer's own words.
    QString context;
    std::optional<int> address;
    std::optional<int> exceptionCode;
    // Said on stderr alone: a stop that cut a request short, a failure with no kind, or one
    // whose line went to stdout already.
    bool terminalOnly = false;

    // A failure of a kind, its exit status the kind's: the line's, or the module's fault.
    Report(line::Failure kind, QString words);

    // Where an answer came from: a module of the call, and whether the terminal names it,
    // as it does when the call serves several.
    struct Module {
        int address;
        bool named;
    };
    // A request's answer, after what was asked ("ch1.duty: bad CRC"); a line that failed, or
    // a stop, is said on its own.
    static Report ofAnswer(const line::Answer& answer, const QString& asked = {},
        std::optional<Module> module = std::nullopt);
    // A line that cannot be used, named by its label: "/dev/ttyUSB0: no such device".
    static Report ofLine(const QString& label, const line::LineFault& fault);
    // A call, or a command message, refused before anything was sent.
    static Report refused(const QString& words, int exitCode = kWrongCall);
    // A failure that has no kind, said on stderr only: "no module found (...)".
    static Report plain(int exitCode, const QString& words);

    // The line on stderr, after "pwm5ctl: ".
    QString terminalText() const;
    // The line on stdout with --json; also a bridge's result.
    QJsonObject json() const;
    bool hasJsonLine() const { return failure != line::Failure::None && !terminalOnly; }
};

} // namespace cli
