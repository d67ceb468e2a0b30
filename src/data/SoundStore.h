#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>

class QSqlDatabase;

// The recordings on a centre's server (SoundSchema), read and written in
// pieces: neither side ever holds more than a piece of a file, whatever its
// size. Every function runs on the caller's connection and thread and
// throws DbError; a file that cannot be read throws DbError too.
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
};

// The one way the recordings' own connections are opened (the fetcher's,
// the uploader's, the tool's): db set up for the server at uri and opened,
// with a deadline for the connection and for every statement. Throws DbError.
void open(QSqlDatabase &db, const QString &uri, int statementTimeoutMs);
constexpr int ConnectTimeoutS = 5;

// What the server holds, by file name.
QHash<QString, Held> held(const QSqlDatabase &db);
// The same, from a server or a room's local copy of it (an SQLite file with
// the table); empty where no recordings are kept (a server made before
// them, any other database file).
QHash<QString, Held> heldIfKept(const QSqlDatabase &db);
// The files the schedule names that the server holds, and how many names
// the schedule has in all (held or not).
struct Named
{
    QHash<QString, Held> held;
    QStringList names;
};
Named named(const QSqlDatabase &db);

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
// another name is not sent again. progress(sent, total) after every piece.
Outcome store(const QSqlDatabase &db, const QString &name, const QString &path,
              const std::function<void(qint64, qint64)> &progress = {});

// Hands the content of a file the server holds to sink, piece by piece.
// Throws DbError when a piece is missing: the content was replaced meanwhile.
void fetch(const QSqlDatabase &db, const Held &file,
           const std::function<void(const QByteArray &)> &sink);

} // namespace SoundStore
