#include "run/QueueChange.h"

#include <QHash>
#include <QStringList>
#include <algorithm>

namespace {

QString second(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString named(const QueueChange::Row &row)
{
    return second(row.time) + QLatin1Char(' ') + row.file;
}

} // namespace

QueueChange QueueChange::between(const QList<Row> &before, const QList<Row> &after)
{
    QueueChange change;
    QHash<qint64, Row> old;
    for (const Row &row : before)
        old.insert(row.id, row);
    for (const Row &row : after) {
        const auto was = old.constFind(row.id);
        if (was == old.cend()) {
            change.added.append(row);
            continue;
        }
        if (was->time != row.time || was->file != row.file || was->explanation != row.explanation)
            change.moved.append({*was, row});
        old.erase(was);
    }
    for (const Row &row : before)
        if (old.contains(row.id))
            change.removed.append(row);
    return change;
}

void QueueChange::keep(const Row &row)
{
    const auto moving = std::find_if(moved.begin(), moved.end(),
                                     [&](const auto &pair) { return pair.first.id == row.id; });
    const auto removing = std::find_if(removed.begin(), removed.end(),
                                       [&](const Row &gone) { return gone.id == row.id; });
    if (moving == moved.end() && removing == removed.end())
        return;
    if (moving != moved.end())
        moved.erase(moving);
    if (removing != removed.end())
        removed.erase(removing);
    kept.append(row);
}

QString QueueChange::text() const
{
    QStringList parts;
    for (const auto &[from, to] : moved)
        parts << QStringLiteral("%1 %2 -> %3")
                     .arg(from.time != to.time ? QStringLiteral("moved")
                                               : QStringLiteral("changed"),
                          named(from), named(to));
    for (const Row &row : added)
        parts << QStringLiteral("added %1").arg(named(row));
    for (const Row &row : removed)
        parts << QStringLiteral("removed %1").arg(named(row));
    for (const Row &row : kept)
        parts << QStringLiteral("kept %1: changed less than 2 s before its second, its sound "
                                "already prepared")
                     .arg(named(row));
    return parts.join(QStringLiteral("; "));
}
