#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "master_line.h"
#include "support/sim_process.h"

// A fresh simulator in a folder of its own, with the master's port open on its COM1 link.
// Members go in reverse order: the port closes before the simulator stops and the folder goes.
struct SimSession {
    QTemporaryDir dir;
    SimProcess sim;
    MasterLine line;

    bool start(const QStringList& args = {}, int baudRate = 9600)
    {
        return dir.isValid() && sim.start(dir.path(), args) && line.open(sim.linkPath(), baudRate);
    }

    // Sends a request the module leaves unanswered. True once the simulator has logged it so
    // and nothing came back; a later request cannot overtake it then.
    bool sendUnanswered(const QByteArray& request)
    {
        line.send(request);
        const QString logged = QStringLiteral("  %1  ->  none")
                                   .arg(QString::fromLatin1(request.toHex(' ').toUpper()));
        return sim.waitForOutput(logged) && line.staysSilent(300);
    }
};
