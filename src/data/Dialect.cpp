#include "data/Dialect.h"

#include "data/ServerAddress.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

namespace Dialect {

namespace {

// A play time's time of day as SQLite's time() gives it ("HH:MM:SS", NULL
// when unreadable): HH:MM[:SS], after an optional date part, milliseconds
// and anything after ignored. No '?' may appear: the driver would take it
// for a placeholder.
constexpr auto ServerTimeOfDay =
    "rpad((regexp_match(playtime, "
    "'^\\s*(\\d{4}-\\d\\d-\\d\\d[ T]){0,1}(([01]\\d|2[0-3]):[0-5]\\d(:[0-5]\\d){0,1})'))[2], "
    "8, ':00')";

bool mentions(const QString &text, std::initializer_list<const char *> phrases)
{
    for (const char *phrase : phrases) {
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

DbError::Kind sqliteKind(const QSqlError &error, const QString &text)
{
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("5") || code == QLatin1String("6") ||
        mentions(text, {"database is locked"}))
        return DbError::Kind::Busy;
    if (code == QLatin1String("14") || mentions(text, {"unable to open database file"}))
        return DbError::Kind::Missing;
    if (code == QLatin1String("26") || mentions(text, {"no such table", "not a database"}))
        return DbError::Kind::NotTessivox;
    return DbError::Kind::Other;
}

DbError::Kind serverKind(const QSqlError &error, const QString &text)
{
    const QString state = error.nativeErrorCode();
    // A refused connection has no SQLSTATE of its own: its text tells. The
    // last free slots kept for superusers are as full for every other login.
    if (state == QLatin1String("53300") ||
        mentions(text, {"too many clients", "too many connections",
                        "remaining connection slots are reserved"}))
        return DbError::Kind::Full;
    if (state.startsWith(QLatin1String("28")) || state == QLatin1String("3D000") ||
        (error.type() == QSqlError::ConnectionError &&
         mentions(text, {"password", "authentication", "pg_hba.conf", "does not exist"})))
        return DbError::Kind::Refused;
    if (state == QLatin1String("55P03") || state == QLatin1String("57014") ||
        state == QLatin1String("40P01"))
        return DbError::Kind::Busy;
    if (state == QLatin1String("40001"))
        return DbError::Kind::Conflict;
    if (state == QLatin1String("42P01"))
        return DbError::Kind::NotTessivox;
    // libpq's connect_timeout: the host or the server took the attempt and
    // never answered it.
    if (mentions(text, {"timeout expired"}))
        return DbError::Kind::NoAnswer;
    // A connection that could not be made or broke has no state of its own
    // (libpq says so in its text), or one of class 08 or 57P0x.
    if (error.type() == QSqlError::ConnectionError || state.startsWith(QLatin1String("08")) ||
        state.startsWith(QLatin1String("57P0")) ||
        mentions(text, {"connection", "server closed", "could not"}))
        return DbError::Kind::Unreachable;
    return DbError::Kind::Other;
}

} // namespace

Engine of(const QString &location)
{
    return ServerAddress::isServer(location) ? Engine::PostgreSQL : Engine::SQLite;
}

Engine of(const QSqlDatabase &db)
{
    return db.driver()->dbmsType() == QSqlDriver::PostgreSQL ? Engine::PostgreSQL : Engine::SQLite;
}

QString driverName(Engine engine)
{
    return engine == Engine::PostgreSQL ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

QString statement(Engine engine, const QString &sql)
{
    if (engine == Engine::SQLite)
        return sql;
    QString server = sql;
    return server.replace(QLatin1String("time(playtime)"), QLatin1String(ServerTimeOfDay));
}

QStringList waitFor(Engine engine, int milliseconds)
{
    if (engine == Engine::SQLite)
        return {QStringLiteral("PRAGMA busy_timeout = %1").arg(milliseconds)};
    // lock_timeout bounds the wait for another transaction's lock;
    // statement_timeout a server too busy to answer at all.
    return {QStringLiteral("SET lock_timeout = %1").arg(milliseconds),
            QStringLiteral("SET statement_timeout = %1").arg(milliseconds)};
}

QString beginCreating(Engine engine)
{
    return engine == Engine::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
}

QString listTables(Engine engine)
{
    if (engine == Engine::SQLite)
        return QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')");
    // The tables a statement without a schema name reaches.
    return QStringLiteral("SELECT table_name FROM information_schema.tables "
                          "WHERE table_schema = ANY (current_schemas(false))");
}

DbError error(Engine engine, const QSqlError &error)
{
    // The engine's message without the driver's generic addition ("Unable to
    // execute statement").
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    // libpq breaks its messages over indented lines.
    text = engine == Engine::SQLite ? text.trimmed() : text.simplified();
    return DbError(text,
                   engine == Engine::SQLite ? sqliteKind(error, text) : serverKind(error, text));
}

} // namespace Dialect
