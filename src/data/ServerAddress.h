#pragma once

#include <QString>

class QSqlDatabase;

// A PostgreSQL server named by a libpq connection URI
// (postgresql://user@host:port/db?option=value...), as QtSql's driver takes
// it: host, port, database and user, every other option passed through to
// libpq unchanged (sslmode, connect_timeout, host=/socket/folder, ...).
namespace ServerAddress {

// Whether a database location names a server rather than a file.
bool isServer(const QString &location);

// Sets up a connection of the QPSQL driver for the URI. Throws DbError for a
// URI that cannot be used, saying why.
void configure(QSqlDatabase &db, const QString &uri);

// The URI as it may be shown or logged: without a password.
QString shown(const QString &uri);

} // namespace ServerAddress
