#pragma once

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
};
