#pragma once

#include "data/SoundStore.h"

#include <QStringList>
#include <chrono>
#include <optional>

class QSqlDatabase;
class ServerLink;

// The recordings the schedule's instructions name, beside what a centre's
// server holds of them (SoundStore).
namespace NamedRecordings {

// The files the schedule names that the server holds, and how many names
// the schedule has in all (held or not).
struct Named
{
    QHash<QString, SoundStore::Held> held;
    QStringList names;
};
// Throws DbError.
Named read(const QSqlDatabase &db);
// The same over a link, as one job within deadline; nothing where the
// server keeps no recordings (made before them).
std::optional<Named> readIfKept(ServerLink &link, std::chrono::milliseconds deadline);

} // namespace NamedRecordings
