#pragma once

#include "report.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace cli {

// Where a command speaks: stdout for its results, stderr for what went wrong.
struct Console {
    QTextStream& out;
    QTextStream& err;
    bool json = false; // --json: every failure that has a kind also has its line on stdout

    // One object on one line of stdout, for scripts.
    void print(const QJsonObject& object)
    {
        out << QJsonDocument(object).toJson(QJsonDocument::Compact) << Qt::endl;
    }

    // Says a failure, its JSON line first; returns the exit status to end with.
    int say(const Report& report)
    {
        if (json && report.hasJsonLine())
            print(report.json());
        err << "pwm5ctl: " << report.terminalText() << Qt::endl;
        return report.exitCode;
    }
};

} // namespace cli
