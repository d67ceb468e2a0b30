#include "office/ServerCapacity.h"

#include "data/Query.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace ServerCapacity {

Slots connectionSlots(const QSqlDatabase &db)
{
    // Every login sees every session in pg_stat_activity, if not what it
    // does: the count needs no right.
    QSqlQuery query =
        Query::run(db, {QStringLiteral("SELECT current_setting('max_connections')::int, "
                                       "current_setting('superuser_reserved_connections')::int, "
                                       "(SELECT count(*) FROM pg_stat_activity "
                                       "WHERE backend_type = 'client backend')::int"),
                        {}});
    if (!query.next())
        return {};
    const int reserved = query.value(1).toInt();
    const int allowed = query.value(0).toInt() - reserved;
    return {allowed, std::max(allowed - query.value(2).toInt(), 0), reserved};
}

QString describe(const Slots &capacity)
{
    return QStringLiteral("%1 of %2 connection slots left (%3 more kept for superusers)")
        .arg(capacity.left)
        .arg(capacity.allowed)
        .arg(capacity.reserved);
}

QString warning(const Slots &now, int rooms)
{
    if (now.allowed >= needed(rooms))
        return {};
    return QStringLiteral("the server allows %1 connections (max_connections %2), %3 rooms "
                          "need %4: set max_connections to %5 or more")
        .arg(now.allowed)
        .arg(now.allowed + now.reserved)
        .arg(rooms)
        .arg(needed(rooms))
        .arg(needed(rooms) + now.reserved);
}

} // namespace ServerCapacity
