#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The two tables through which the exam office sees the rooms, on the
// centre's PostgreSQL server beside the schedule: room (one row a PC, kept
// current by the PC) and room_event (every event of every run, as the run
// log records it). Other tools read them: the names are fixed.
namespace OfficeSchema {

// Creates both tables and the recordings' (SoundSchema), within the
// caller's transaction. Throws DbError.
void create(const QSqlDatabase &db);

// Adds whichever of the two tables is missing, and the recordings' tables
// (SoundSchema), and nothing else, in one transaction; returns their names.
// Throws DbError.
QStringList addMissing(const QSqlDatabase &db);

// The tables of the office that db lacks.
QStringList missing(const QSqlDatabase &db);

// SQL for the two roles of a centre: rooms read the schedule and write their
// own events and row; the administrator may do everything.
QString grants();

} // namespace OfficeSchema
