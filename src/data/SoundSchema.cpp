#include "data/SoundSchema.h"

#include "data/Dialect.h"
#include "data/Query.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

void execute(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw Dialect::error(Dialect::Engine::PostgreSQL, query.lastError());
}

bool exists(const QSqlDatabase &db, const QString &name)
{
    // to_regclass needs no right on the table, unlike a probe that reads it.
    QSqlQuery query = Query::run(db, {QStringLiteral("SELECT to_regclass(?) IS NOT NULL"), {name}});
    return query.next() && query.value(0).toBool();
}

void createFiles(const QSqlDatabase &db)
{
    execute(db, QStringLiteral("CREATE TABLE sound_file ("
                               "name text PRIMARY KEY, "
                               "sha256 text NOT NULL CHECK (sha256 ~ '^[0-9a-f]{64}$'), "
                               "size bigint NOT NULL CHECK (size >= 0), "
                               "stored_by text NOT NULL DEFAULT session_user, "
                               "stored_at timestamptz NOT NULL DEFAULT now())"));
}

void createChunks(const QSqlDatabase &db)
{
    execute(db, QStringLiteral("CREATE TABLE sound_file_chunk ("
                               "sha256 text NOT NULL, "
                               "seq integer NOT NULL CHECK (seq >= 0), "
                               "data bytea NOT NULL, "
                               "PRIMARY KEY (sha256, seq))"));
    // Recorded sound hardly compresses: trying costs the server time on
    // every piece for nothing.
    execute(db, QStringLiteral("ALTER TABLE sound_file_chunk ALTER COLUMN data SET STORAGE "
                               "EXTERNAL"));
}

} // namespace

namespace SoundSchema {

void create(const QSqlDatabase &db)
{
    createFiles(db);
    createChunks(db);
}

QStringList addMissing(const QSqlDatabase &db)
{
    QStringList added;
    if (!exists(db, QStringLiteral("sound_file"))) {
        createFiles(db);
        added << QStringLiteral("sound_file");
    }
    if (!exists(db, QStringLiteral("sound_file_chunk"))) {
        createChunks(db);
        added << QStringLiteral("sound_file_chunk");
    }
    return added;
}

bool present(const QSqlDatabase &db)
{
    // A database file keeps no recordings: its PC has them in its folder.
    return db.driverName() == QLatin1String("QPSQL") && exists(db, QStringLiteral("sound_file")) &&
           exists(db, QStringLiteral("sound_file_chunk"));
}

QString grants()
{
    return QStringLiteral(
        R"(-- The recordings: the rooms fetch them, only the office stores them.
GRANT SELECT ON sound_file, sound_file_chunk TO tessivox_room;
GRANT SELECT, INSERT, UPDATE, DELETE ON sound_file, sound_file_chunk TO tessivox_admin;
)");
}

} // namespace SoundSchema
