#pragma once

#include <QString>

// Which PC a room's reports come from, so that two PCs set up with one
// room's name are told apart: a random id kept in the data folder (a copy
// of the program started again keeps it) and the host name for people.
// PCs cloned with their data folder share the id and stay one to the server.
struct PcIdentity
{
    QString id;
    QString host;

    // Reads the id kept in dataFolder, making it on first use. A folder
    // that cannot be written gets one made of the machine's own id, the
    // same at every start.
    static PcIdentity of(const QString &dataFolder);
};
