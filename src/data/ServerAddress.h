#pragma once

#include <QString>

class QSqlDatabase;

// A PostgreSQL server named by a libpq connection URI
// (postgresql://user@host:port/db?option=value...), as QtSql's driver takes
// it: host, port, database and user, every other option of libpq's own
// passed through to it unchanged (sslmode, connect_timeout,
// host=/socket/folder, ...).
namespace ServerAddress {

// Whether a database location names a server rather than a file.
bool isServer(const QString &location);

// Throws DbError for a URI that cannot be used, saying why: among others
// an option that is not one of libpq's, which libpq would otherwise read as
// something else.
void check(const QString &uri);

// Sets up a connection of the QPSQL driver for the URI. Throws DbError as
// check() does.
void configure(QSqlDatabase &db, const QString &uri);

// The server and database the URI names, whoever logs in and however:
// "host:port/database".
QString origin(const QString &uri);

// libpq counts its wait for a connection in whole seconds, two at least.
constexpr int ConnectWaitS = 2;

// The URI with the limits this program adds to every connection.
QString withNetworkLimits(const QString &uri);

// The URI as it may be shown or logged: without a password.
QString shown(const QString &uri);

} // namespace ServerAddress
