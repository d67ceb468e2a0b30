#pragma once

#include "data/DbError.h"
#include "schedule/LocalCopy.h"

#include <QString>
#include <functional>

class Session;
class TDataModule1;

// A centre's schedule kept on this PC standing in for its server in the
// windows' loads: while the server is away, does not answer or is full, a
// load reads the local copy instead, and the user is told so once until the
// server answers a load again. Every other read and write needs the server
// itself.
class CopyStandIn final
{
public:
    // The copy of data's server, kept in data's folder.
    explicit CopyStandIn(const TDataModule1 &data);
    Q_DISABLE_COPY_MOVE(CopyStandIn)

    LocalCopy &copy() { return m_copy; }

    // The server answered a load: the copy is brought up to date from it.
    void answered(ServerLink &link);
    // The server failed a load for why: whether the copy may answer it
    // instead. The first time after the server last answered, notice is
    // what the user is told.
    bool standsIn(DbError::Kind why, QString &notice);
    // Runs work on the copy, read-only. Throws DbError.
    void read(const std::function<void(Session &)> &work) const;

private:
    QString m_folder;
    LocalCopy m_copy;
    bool m_noticeGiven = false;
};
