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
    Query::run(db, {QStringLiteral("CREATE OR REPLACE FUNCTION tessivox_schedule_changed() "
                                   "RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                   "PERFORM pg_notify('%1', pg_backend_pid()::text); "
                                   "RETURN NULL; END $$")
                        .arg(Channel),
                    {}});
    for (const QString table :
         {QStringLiteral("var"), QStringLiteral("test"), QStringLiteral("sound")})
        watch(db, table);
    if (holds(db, QStringLiteral("SELECT to_regclass('sound_file') IS NOT NULL")))
        watch(db, QStringLiteral("sound_file"));
}

void watch(const QSqlDatabase &db, const QString &table)
{
    Query::run(db, {QStringLiteral("CREATE OR REPLACE TRIGGER tessivox_schedule_changed AFTER "
                                   "INSERT OR UPDATE OR DELETE OR TRUNCATE ON %1 FOR EACH "
                                   "STATEMENT EXECUTE FUNCTION tessivox_schedule_changed()")
                        .arg(table),
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
