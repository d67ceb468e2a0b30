#include "data/Schema.h"

#include "data/Dialect.h"
#include "data/Query.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace Schema {

QStringList tables(const QSqlDatabase &db)
{
    QSqlQuery query = Query::run(db, {Dialect::listTables(Dialect::of(db)), {}});
    QStringList names;
    while (query.next())
        names.append(query.value(0).toString());
    return names;
}

} // namespace Schema
