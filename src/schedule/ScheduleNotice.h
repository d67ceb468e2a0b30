#pragma once

#include <QString>

class QSqlDatabase;

// How a centre's server tells every room that its schedule changed: a
// trigger on var, test, sound and sound_file (the recordings) sends a notification on Channel at
// the commit of any change, whoever made it (the console, the editor, tessivox-db, psql). Its
// payload is the writer's server process, so that a window can tell its own change from another's.
// The same trigger counts the changes in a table of one row, which any login
// may notify about but only a writer of the schedule can raise: a room that
// finds the count where it was need not read its subject again.
namespace ScheduleNotice {

inline const QString Channel = QStringLiteral("tessivox_schedule");
// The trigger function, and the name of each of its triggers.
inline const QString Function = QStringLiteral("tessivox_schedule_changed");
// The table of the count, column "changes".
inline const QString Count = QStringLiteral("schedule_changes");

// Creates the count, the trigger function and the triggers, or whichever of
// them is missing or older, within the caller's transaction. Throws DbError.
void create(const QSqlDatabase &db);
// A trigger function that notifies channel with payload (an SQL
// expression) once per statement; the server delivers it at the commit.
void createNotifier(const QSqlDatabase &db, const QString &function, const QString &channel,
                    const QString &payload);
// The function's trigger on one table, made after the function.
void watch(const QSqlDatabase &db, const QString &table, const QString &function = Function);
// A recording stored or replaced is a change of the schedule to a room: the
// trigger on the recordings' table, where both it and the function exist.
void watchRecordings(const QSqlDatabase &db);

// Whether the server already has them all, the count included. Throws
// DbError.
bool exists(const QSqlDatabase &db);

} // namespace ScheduleNotice
