#pragma once

#include "schedule/Schedule.h"

#include <QStringList>
#include <optional>

class Session;

// The schedule's statements on one open connection, turned into values and
// back: what the repository runs through the data module, and what a run's
// re-read runs on the server link's own thread. Each throws DbError with the
// engine's text.
namespace ScheduleSql {

QString title(Session &session);
QStringList subjectNames(Session &session);
// Those with a test row, then those that have only instructions.
QStringList everySubjectName(Session &session);
// The subject's test row and its instructions in play order.
Subject subject(Session &session, const QString &name);
QList<Instruction> instructions(Session &session, const QString &subject);
// The other subjects whose instructions play file, by name.
QStringList subjectsPlaying(Session &session, const QString &file, const QString &except);
// The names among schedule's subjects with a test row or instructions.
QStringList existing(Session &session, const Schedule &schedule);
// Writes schedule on a connection inside a transaction that writes; see
// ScheduleRepository::store.
void store(Session &session, const Schedule &schedule, bool replaceExisting);

// The single writes, each returning how many rows it changed.
int setTitle(Session &session, const QString &title);
int addSubject(Session &session, const QString &name, const QDateTime &start, const QDateTime &end);
int setTimes(Session &session, const QString &name, const QDateTime &start, const QDateTime &end);
// The test row and the instructions; inside a transaction.
void deleteSubject(Session &session, const QString &name);
// Inside a transaction: instructions with an identity keep it, by which a
// running room knows one it played already; new ones come after them, so
// that a new one never takes an identity a kept one still needs.
void replaceInstructions(Session &session, const QString &subject,
                         const QList<Instruction> &instructions);

// The server's count of changes to the schedule (see ScheduleNotice), none
// where it keeps none or this login may not read it: a server not yet
// upgraded, or grants from before the count. counted: the caller found it
// there before, and needs no second statement to ask whether it is there.
std::optional<qint64> changeCount(Session &session, bool counted);

} // namespace ScheduleSql
