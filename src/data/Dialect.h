#pragma once

#include "data/DbError.h"

#include <QString>
#include <QStringList>

class QSqlDatabase;
class QSqlError;

// Everything in which the two database engines differ, and nothing else: the
// program's statements are written once, for both. SQLite is a file on this
// PC; PostgreSQL a server that a whole exam centre shares.
namespace Dialect {

enum class Engine
{
    SQLite,
    PostgreSQL
};

// The engine a database location names: a libpq URI or a file path.
Engine of(const QString &location);
Engine of(const QSqlDatabase &db);
QString driverName(Engine engine);

// A statement as the engine takes it. The statements order play times with
// SQLite's time(playtime), which reads every stored form of a time of day;
// a server is given an expression that reads the same forms.
QString statement(Engine engine, const QString &sql);

// Sets how long the next statements may wait for another writer's lock (and,
// on a server, for an answer at all) before they give up.
QStringList waitFor(Engine engine, int milliseconds);

// Opens the transaction that creates tables, which do not exist yet.
QString beginCreating(Engine engine);

// One row per table or view, its name in the first column.
QString listTables(Engine engine);

// What a failure means to the user, from the engine's code and text.
DbError error(Engine engine, const QSqlError &error);

} // namespace Dialect
