#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <chrono>
#include <functional>

class QSqlDatabase;
class ServerLink;

// The recordings on a centre's server (SoundSchema), read and written in
// pieces: neither side ever holds more than a piece of a file, whatever its
// size. The readers run on the caller's connection, as a job on a link;
// store() and fetch() move a file over a link of its own (the fetcher's,
// the uploader's, the tool's), a piece a job, each job within its deadline,
// so that a server that stopped answering holds nobody longer than one
// piece's deadline. Every function throws DbError; a file that cannot be
// read throws DbError too.
namespace SoundStore {

// A piece a statement carries: large enough that a 600 MB file takes a few
// hundred statements, small enough to stay far below the memory bound.
constexpr qint64 ChunkBytes = 1 << 20;

struct Held
{
    QString name;
    // Lower-case hex, as stored.
    QString sha256;
    qint64 size = 0;
    friend bool operator==(const Held &, const Held &) = default;
};

// The SHA-256 names the cached file: anything else (a copy edited by hand)
// must not lead outside the cache.
bool isSha256(const QString &text);

// What the server holds, by file name.
QHash<QString, Held> held(const QSqlDatabase &db);
// The same, from a server or a room's local copy of it (an SQLite file with
// the table); empty where no recordings are kept (a server made before
// them, any other database file).
QHash<QString, Held> heldIfKept(const QSqlDatabase &db);

// How the run log and the office name a recording: its file name and the
// start of its SHA-256, "a.wav (1f2e3d4c)".
QString shownName(const QString &name, const QString &sha256);

// The SHA-256 of a file on disk, read in pieces; lower-case hex. Throws
// DbError when the file cannot be read.
QString sha256Of(const QString &path, qint64 *size = nullptr);

enum class Outcome
{
    Sent,
    // The server held this very content under this name already.
    Skipped
};
// Stores the file at path under name, replacing the content of the name for
// every subject that names it, in one transaction: the server holds the old
// content or the new, never part of one. Content the server holds under
// another name is not sent again. progress(sent, total) after every piece,
// on the caller's thread: what it throws rolls back.
Outcome store(ServerLink &link, const QString &name, const QString &path,
              std::chrono::milliseconds deadline,
              const std::function<void(qint64, qint64)> &progress = {});

// Hands the content of a file the server holds to sink, piece by piece, on
// the caller's thread. Throws DbError when a piece is missing: the content
// was replaced meanwhile.
void fetch(ServerLink &link, const Held &file, std::chrono::milliseconds deadline,
           const std::function<void(const QByteArray &)> &sink);

} // namespace SoundStore
