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
// The sessions one room's login may hold (ALTER ROLE ... CONNECTION LIMIT):
// its own two, a check run on its PC and a copy started by mistake. A PC
// gone wrong, or a login used by hand, then cannot take the office's slots.
constexpr int PerRoomLogin = PerRoom + 2;

constexpr int needed(int rooms)
{
    return rooms * PerRoom + ForOffice;
}

// The connections ordinary logins may open (max_connections less those kept
// for superusers) and how many of them are free now. Throws DbError.
struct Slots
{
    int allowed = 0;
    int left = 0;
    int reserved = 0;
};
Slots connectionSlots(const QSqlDatabase &db);
// One line for the office: "12 of 97 connection slots left ...".
QString describe(const Slots &capacity);
// A warning when the connections the server allows are fewer than rooms
// need; empty when enough.
QString warning(const Slots &capacity, int rooms);

} // namespace ServerCapacity
