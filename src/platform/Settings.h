#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What this PC is told by its settings file and its environment, which wins
// over the file. Without either, the PC is a room of its own on
// ./data/asdf.mdb, as it always was. The file (INI):
//
//   [database]      a PostgreSQL server instead of the file; no password here:
//   host=...        libpq's own ~/.pgpass, PGPASSFILE or PGPASSWORD give it
//   port=5432
//   name=tessivox
//   user=room
//   options=sslmode=require connect_timeout=5
//   [room]
//   name=Room 17    how the exam office knows this PC (default: host name)
//   clock_limit=1   seconds the clock may be off the server's before a run warns
//   [display]
//   screen=auto     the candidates' screen: auto, none, a number from 1, a name
struct Settings
{
    static constexpr auto DefaultFile = "./data/tessivox.ini";
    static constexpr auto DefaultDatabase = "./data/asdf.mdb";

    // A database file, or a server as a libpq URI ("postgresql://...").
    QString database = DefaultDatabase;
    QString room;
    int clockLimitMs = 1000;
    QString screen = QStringLiteral("auto");
    // What the file says that could not be used, a line each, for the user;
    // the setting keeps its default.
    QStringList problems;

    static Settings
    read(const QString &file = DefaultFile,
         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
};
