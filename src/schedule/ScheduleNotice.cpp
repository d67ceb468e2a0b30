#include "schedule/ScheduleNotice.h"

#include "data/Query.h"

#include <QSqlDriver>
#include <QSqlQuery>

namespace {

QVariant answer(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query = Query::run(db, {sql, {}});
    return query.next() ? query.value(0) : QVariant();
}

bool holds(const QSqlDatabase &db, const QString &sql)
{
    return answer(db, sql).toBool();
}

} // namespace

namespace ScheduleNotice {

void create(const QSqlDatabase &db)
{
    Query::run(db, {QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id integer PRIMARY KEY CHECK "
                                   "(id = 1), changes bigint NOT NULL)")
                        .arg(Count),
                    {}});
    Query::run(
        db, {QStringLiteral("INSERT INTO %1 VALUES (1, 0) ON CONFLICT DO NOTHING").arg(Count), {}});
    // One notification per statement, and the server folds those of one
    // transaction with the same payload into one: saving a list of fifty
    // instructions wakes each room once. The count is raised with the
    // owner's right, whoever writes: a writer granted the schedule before
    // the count came needs no right on it. It becomes visible with the
    // change at the commit, never before.
    const QString schema = db.driver()->escapeIdentifier(
        answer(db, QStringLiteral("SELECT current_schema()")).toString(), QSqlDriver::TableName);
    Query::run(db, {QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE "
                                   "plpgsql SECURITY DEFINER SET search_path = pg_catalog, "
                                   "pg_temp AS $$ BEGIN UPDATE %2.%3 SET changes = changes + 1; "
                                   "PERFORM pg_notify('%4', pg_backend_pid()::text); RETURN NULL; "
                                   "END $$")
                        .arg(Function, schema, Count, Channel),
                    {}});
    for (const QString table :
         {QStringLiteral("var"), QStringLiteral("test"), QStringLiteral("sound")})
        watch(db, table);
    watchRecordings(db);
}

void watchRecordings(const QSqlDatabase &db)
{
    if (holds(db, QStringLiteral("SELECT to_regclass('sound_file') IS NOT NULL AND "
                                 "to_regprocedure('%1()') IS NOT NULL")
                      .arg(Function)))
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
    // A server whose recordings came after the notice lacks theirs, and one
    // whose notice came before the count a function that raises it.
    return holds(db, QStringLiteral("SELECT EXISTS (SELECT FROM pg_proc WHERE oid = "
                                    "to_regprocedure('tessivox_schedule_changed()') AND "
                                    "strpos(prosrc, '%1') > 0) AND to_regclass('%1') IS NOT "
                                    "NULL AND (to_regclass('sound_file') IS NULL OR EXISTS "
                                    "(SELECT FROM pg_trigger WHERE tgrelid = "
                                    "to_regclass('sound_file') AND tgname = "
                                    "'tessivox_schedule_changed'))")
                         .arg(Count));
}

} // namespace ScheduleNotice
