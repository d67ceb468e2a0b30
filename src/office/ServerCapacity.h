#pragma once

#include <QString>

class QSqlDatabase;

// How many connections a centre's server must allow. Each room keeps one all
// day (its windows, its reporter and whatever listens share its link) and
// opens a second for a moment after each load to write its local copy, all
// rooms at once when a centre starts one exam; the office's board, status
// and tools take a few more.
namespace ServerCapacity {

constexpr int PerRoom = 2;
constexpr int ForOffice = 10;

constexpr int needed(int rooms)
{
    return rooms * PerRoom + ForOffice;
}

// A warning when the connections the server allows (max_connections less
// those it keeps for superusers) are fewer than rooms need; empty when
// enough. Throws DbError.
QString warning(const QSqlDatabase &db, int rooms);

} // namespace ServerCapacity
