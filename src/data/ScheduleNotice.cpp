#include "data/ScheduleNotice.h"

#include "data/Query.h"

#include <QSqlQuery>

namespace ScheduleNotice {

void create(const QSqlDatabase &db)
{
    // One notification per statement, and the server folds those of one
    // transaction with the same payload into one: saving a list of fifty
    // instructions wakes each room once.
    Query::run(db, {QStringLiteral("CREATE FUNCTION tessivox_schedule_changed() RETURNS trigger "
                                   "LANGUAGE plpgsql AS $$ BEGIN "
                                   "PERFORM pg_notify('%1', pg_backend_pid()::text); "
                                   "RETURN NULL; END $$")
                        .arg(Channel),
                    {}});
    for (const QString table :
         {QStringLiteral("var"), QStringLiteral("test"), QStringLiteral("sound")})
        Query::run(db, {QStringLiteral("CREATE TRIGGER tessivox_schedule_changed AFTER INSERT OR "
                                       "UPDATE OR DELETE OR TRUNCATE ON %1 FOR EACH STATEMENT "
                                       "EXECUTE FUNCTION tessivox_schedule_changed()")
                            .arg(table),
                        {}});
}

bool exists(const QSqlDatabase &db)
{
    QSqlQuery query = Query::run(
        db,
        {QStringLiteral("SELECT to_regprocedure('tessivox_schedule_changed()') IS NOT NULL"), {}});
    return query.next() && query.value(0).toBool();
}

} // namespace ScheduleNotice
