#include "data/ScheduleNotice.h"

#include "data/Query.h"

#include <QSqlQuery>

namespace {

bool holds(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query = Query::run(db, {sql, {}});
    return query.next() && query.value(0).toBool();
}

} // namespace

namespace ScheduleNotice {

void create(const QSqlDatabase &db)
{
    // One notification per statement, and the server folds those of one
    // transaction with the same payload into one: saving a list of fifty
    // instructions wakes each room once.
    createNotifier(db, Function, Channel, QStringLiteral("pg_backend_pid()::text"));
    for (const QString table :
         {QStringLiteral("var"), QStringLiteral("test"), QStringLiteral("sound")})
        watch(db, table);
    if (holds(db, QStringLiteral("SELECT to_regclass('sound_file') IS NOT NULL")))
        watch(db, QStringLiteral("sound_file"));
}

void createNotifier(const QSqlDatabase &db, const QString &function, const QString &channel,
                    const QString &payload)
{
    Query::run(db, {QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE "
                                   "plpgsql AS $$ BEGIN PERFORM pg_notify('%2', %3); "
                                   "RETURN NULL; END $$")
                        .arg(function, channel, payload),
                    {}});
}

void watch(const QSqlDatabase &db, const QString &table, const QString &function)
{
    Query::run(db, {QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE "
                                   "OR TRUNCATE ON %2 FOR EACH STATEMENT EXECUTE FUNCTION %1()")
                        .arg(function, table),
                    {}});
}

bool exists(const QSqlDatabase &db)
{
    // A server whose recordings came after the notice lacks theirs.
    return holds(db, QStringLiteral("SELECT to_regprocedure('tessivox_schedule_changed()') IS NOT "
                                    "NULL AND (to_regclass('sound_file') IS NULL OR EXISTS "
                                    "(SELECT FROM pg_trigger WHERE tgrelid = "
                                    "to_regclass('sound_file') AND tgname = "
                                    "'tessivox_schedule_changed'))"));
}

} // namespace ScheduleNotice
