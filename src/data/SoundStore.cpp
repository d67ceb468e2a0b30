#include "data/SoundStore.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundSchema.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <optional>

namespace {

void openForReading(QFile &file)
{
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}

QByteArray readPiece(QFile &file, const QString &path)
{
    QByteArray piece = file.read(SoundStore::ChunkBytes);
    if (piece.isEmpty() && file.error() != QFileDevice::NoError)
        throw DbError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return piece;
}

// An empty file is one empty piece, so that every content has a first.
qint64 pieces(qint64 size)
{
    return std::max<qint64>((size + SoundStore::ChunkBytes - 1) / SoundStore::ChunkBytes, 1);
}

bool holdsContent(const QSqlDatabase &db, const QString &sha256, qint64 size)
{
    QSqlQuery query =
        Query::run(db, {QStringLiteral("SELECT count(*), coalesce(sum(length(data)), 0) FROM "
                                       "sound_file_chunk WHERE sha256 = ?"),
                        {sha256}});
    return query.next() && query.value(0).toLongLong() == pieces(size) &&
           query.value(1).toLongLong() == size;
}

// A store's jobs share its transaction: one that found the connection
// opened anew (the old one broke between two pieces) would write outside it.
void requireConnection(const ServerLink &link, qint64 process)
{
    if (link.serverProcess() != process)
        throw DbError(QStringLiteral("the connection to the server broke while a file was sent"),
                      DbError::Kind::Unreachable);
}

void sendContent(ServerLink &link, qint64 process, const QString &path, const QString &sha256,
                 qint64 size, std::chrono::milliseconds deadline,
                 const std::function<void(qint64, qint64)> &progress)
{
    QFile file(path);
    openForReading(file);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 sent = 0;
    for (int seq = 0;; ++seq) {
        const QByteArray piece = readPiece(file, path);
        if (piece.isEmpty() && seq > 0)
            break;
        hash.addData(piece);
        link.run(
            [&](Session &session) {
                requireConnection(link, process);
                Query::run(session.db(),
                           {QStringLiteral("INSERT INTO sound_file_chunk (sha256, seq, data) "
                                           "VALUES (?, ?, ?)"),
                            {sha256, seq, piece}});
            },
            deadline);
        sent += piece.size();
        if (progress)
            progress(sent, size);
        if (piece.isEmpty())
            break;
    }
    // A file written to while it was sent would store a content nobody chose.
    if (sent != size || QString::fromLatin1(hash.result().toHex()) != sha256)
        throw DbError(QStringLiteral("%1: the file changed while it was sent").arg(path));
}

} // namespace

namespace SoundStore {

bool isSha256(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

QHash<QString, Held> held(const QSqlDatabase &db)
{
    QHash<QString, Held> files;
    QSqlQuery query =
        Query::run(db, {QStringLiteral("SELECT name, sha256, size FROM sound_file"), {}});
    while (query.next())
        if (isSha256(query.value(1).toString()))
            files.insert(query.value(0).toString(),
                         {query.value(0).toString(), query.value(1).toString(),
                          query.value(2).toLongLong()});
    return files;
}

QHash<QString, Held> heldIfKept(const QSqlDatabase &db)
{
    return db.tables().contains(QStringLiteral("sound_file")) ? held(db) : QHash<QString, Held>();
}

QString shownName(const QString &name, const QString &sha256)
{
    return QStringLiteral("%1 (%2)").arg(name, sha256.left(8));
}

QString sha256Of(const QString &path, qint64 *size)
{
    QFile file(path);
    openForReading(file);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 total = 0;
    for (QByteArray piece = readPiece(file, path); !piece.isEmpty();
         piece = readPiece(file, path)) {
        hash.addData(piece);
        total += piece.size();
    }
    if (size)
        *size = total;
    return QString::fromLatin1(hash.result().toHex());
}

Outcome store(ServerLink &link, const QString &name, const QString &path,
              std::chrono::milliseconds deadline,
              const std::function<void(qint64, qint64)> &progress)
{
    qint64 size = 0;
    const QString sha256 = sha256Of(path, &size);
    QString before;
    bool named = false;
    bool contentHeld = false;
    qint64 process = 0;
    try {
        link.run(
            [&](Session &session) {
                const QSqlDatabase &db = session.db();
                Query::run(db, {QStringLiteral("BEGIN"), {}});
                process = link.serverProcess();
                QSqlQuery old = Query::run(
                    db, {QStringLiteral("SELECT sha256 FROM sound_file WHERE name = ? FOR UPDATE"),
                         {name}});
                before = old.next() ? old.value(0).toString() : QString();
                contentHeld = holdsContent(db, sha256, size);
                named = before == sha256 && contentHeld;
                // Pieces of an upload that broke off before its commit are
                // gone with its transaction; any left by other means would
                // mix with these.
                if (!contentHeld)
                    Query::run(db, {QStringLiteral("DELETE FROM sound_file_chunk WHERE sha256 = ?"),
                                    {sha256}});
            },
            deadline);
        if (!contentHeld)
            sendContent(link, process, path, sha256, size, deadline, progress);
        link.run(
            [&](Session &session) {
                requireConnection(link, process);
                const QSqlDatabase &db = session.db();
                if (!named) {
                    Query::run(db, {QStringLiteral(
                                        "INSERT INTO sound_file (name, sha256, size, stored_by, "
                                        "stored_at) VALUES (?, ?, ?, session_user, now()) ON "
                                        "CONFLICT (name) DO UPDATE SET sha256 = "
                                        "excluded.sha256, size = excluded.size, stored_by = "
                                        "excluded.stored_by, stored_at = excluded.stored_at"),
                                    {name, sha256, size}});
                    if (!before.isEmpty() && before != sha256)
                        Query::run(db, {QStringLiteral("DELETE FROM sound_file_chunk WHERE sha256 "
                                                       "= ? AND NOT EXISTS (SELECT 1 FROM "
                                                       "sound_file WHERE sha256 = ?)"),
                                        {before, before}});
                }
                Query::run(db, {QStringLiteral("COMMIT"), {}});
            },
            deadline);
    } catch (...) {
        // A job cut off took its connection, and the transaction, with it;
        // one that failed otherwise left the transaction open.
        try {
            link.run(
                [](Session &session) { QSqlQuery(session.db()).exec(QStringLiteral("ROLLBACK")); },
                deadline);
        } catch (const DbError &) {
        }
        throw;
    }
    return named ? Outcome::Skipped : Outcome::Sent;
}

void fetch(ServerLink &link, const Held &file, std::chrono::milliseconds deadline,
           const std::function<void(const QByteArray &)> &sink)
{
    for (qint64 seq = 0; seq < pieces(file.size); ++seq) {
        std::optional<QByteArray> piece;
        link.run(
            [&](Session &session) {
                QSqlQuery query = Query::run(
                    session.db(),
                    {QStringLiteral(
                         "SELECT data FROM sound_file_chunk WHERE sha256 = ? AND seq = ?"),
                     {file.sha256, seq}});
                if (query.next())
                    piece = query.value(0).toByteArray();
            },
            deadline);
        if (!piece)
            throw DbError(QStringLiteral("%1: the server no longer holds this content (it was "
                                         "replaced)")
                              .arg(file.name));
        sink(*piece);
    }
}

} // namespace SoundStore
