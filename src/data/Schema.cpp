#include "data/Schema.h"

#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ScheduleNotice.h"
#include "data/Transaction.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace Schema {

void createSchema(QSqlDatabase &db, const QString &title)
{
    const Dialect::Engine engine = Dialect::of(db);
    Transaction::run(db, {Dialect::beginCreating(engine)}, [&] {
        for (const QString &statement : Dialect::createTables(engine))
            Query::run(db, {statement, {}});
        Query::run(db, {QStringLiteral("INSERT INTO var (id, systitle) VALUES (1, ?)"), {title}});
        if (engine == Dialect::Engine::PostgreSQL)
            ScheduleNotice::create(db);
    });
}

QStringList tables(const QSqlDatabase &db)
{
    QSqlQuery query = Query::run(db, {Dialect::listTables(Dialect::of(db)), {}});
    QStringList names;
    while (query.next())
        names.append(query.value(0).toString());
    return names;
}

} // namespace Schema
