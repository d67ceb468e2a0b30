#pragma once

#include "data/Dialect.h"

#include <QString>
#include <QStringList>
#include <functional>

class QSqlDatabase;
class TDataModule1;

// The schedule's tables var, test and sound themselves: their creation, the
// lock a transaction that writes them takes, and the copies that make
// reading every subject fast. The lower layer's connections, dialects and
// transactions know no table of the schedule; they are handed these.
namespace ScheduleTables {

// The title a new database starts with.
inline const QString DefaultTitle = QStringLiteral("Tessivox 考场语音指令系统");

// The statements that create the tables. A server's tables carry a rowid as
// SQLite's do implicitly, so that both return rows in the order they were
// stored.
QStringList createStatements(Dialect::Engine engine);

// Creates the tables in an empty database and the title row (id 1) in var,
// all or nothing; on a server also the notice of changes (ScheduleNotice).
// Throws DbError.
void create(QSqlDatabase &db, const QString &title);

// Opens a transaction that writes: it takes the right to write up front, so
// that a concurrent writer waits for the whole of it, then fails when the
// wait runs out; readers carry on meanwhile. Two replacements of one
// subject's list therefore never mix.
QStringList beginWriting(Dialect::Engine engine);

// Runs work in such a transaction on the data module's connection; see
// TDataModule1::transaction.
void transaction(TDataModule1 &data, const std::function<void()> &work);

// Statements that make reading every subject in turn fast without changing
// what is read: SQLite's files have no index on the subject, a server's
// tables do.
QStringList indexForReadingAll(Dialect::Engine engine);

} // namespace ScheduleTables
