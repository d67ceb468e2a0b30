#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The two tables through which the exam office sees the rooms, on the
// centre's PostgreSQL server beside the schedule: room (one row a PC, kept
// current by the PC) and room_event (every event of every run, as the run
// log records it). Other tools read them: the names are fixed.
namespace OfficeSchema {

// Bounds of what one room's call may carry; the room's own refusal text is
// cut to fit.
constexpr int MaxRefusedLength = 1000;
constexpr int MaxEventsPerCall = 1000;

// Creates both tables, the two functions through which a room writes them
// (room_report, room_events) and the recordings' tables (SoundSchema),
// within the caller's transaction. Throws DbError.
void create(const QSqlDatabase &db);

// Adds whichever of the tables, their later columns, the functions and the
// recordings' tables is missing, and nothing else, in one transaction;
// returns their names. A room_report of an older signature is replaced.
// Throws DbError.
QStringList addMissing(const QSqlDatabase &db);

// The parts of the office that db lacks: "room", "room_event.received_at",
// "room_events(jsonb)", ...
QStringList missing(const QSqlDatabase &db);
// What of them a room's reports need: a server not yet upgraded for
// announcements still takes every event, an announcement's without its id.
QStringList missingForReports(const QSqlDatabase &db);
// Throws DbError (Outdated) when db lacks them, saying how to add them.
void requireTables(const QSqlDatabase &db);

// SQL for the two roles of a centre: rooms read the schedule and report
// through the functions; the administrator may do everything.
QString grants();

} // namespace OfficeSchema
