#include "office/ServerCapacity.h"

#include "data/Query.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace ServerCapacity {

QString warning(const QSqlDatabase &db, int rooms)
{
    QSqlQuery query =
        Query::run(db, {QStringLiteral("SELECT current_setting('max_connections')::int, "
                                       "current_setting('superuser_reserved_connections')::int"),
                        {}});
    if (!query.next())
        return {};
    const int allowed = query.value(0).toInt() - query.value(1).toInt();
    if (allowed >= needed(rooms))
        return {};
    return QStringLiteral("the server allows %1 connections (max_connections %2), %3 rooms "
                          "need %4: set max_connections to %5 or more")
        .arg(allowed)
        .arg(query.value(0).toInt())
        .arg(rooms)
        .arg(needed(rooms))
        .arg(needed(rooms) + query.value(1).toInt());
}

} // namespace ServerCapacity
