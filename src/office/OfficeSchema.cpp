#include "office/OfficeSchema.h"

#include "data/Query.h"
#include "data/SoundSchema.h"
#include "office/ServerConnection.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

struct Table
{
    QString name;
    QString definition;
};

const QList<Table> &tables()
{
    static const QList<Table> all{
        {QStringLiteral("room"),
         QStringLiteral("CREATE TABLE room ("
                        "name text PRIMARY KEY, "
                        "version text, "
                        "last_seen timestamptz, "
                        "state text NOT NULL DEFAULT 'idle' CHECK (state IN ('idle', 'running')), "
                        "subject text, "
                        "clock_offset_ms integer, "
                        "sound_files_held integer, "
                        "sound_files_named integer)")},
        // A room sends an event again when it cannot know whether the server
        // took it: the key makes the second copy a no-op.
        {QStringLiteral("room_event"), QStringLiteral("CREATE TABLE room_event ("
                                                      "room text NOT NULL, "
                                                      "run_id text NOT NULL, "
                                                      "seq integer NOT NULL, "
                                                      "at timestamptz NOT NULL, "
                                                      "kind text NOT NULL, "
                                                      "subject text, "
                                                      "second time, "
                                                      "delay_ms bigint, "
                                                      "file text, "
                                                      "reason text, "
                                                      "PRIMARY KEY (room, run_id, seq))")},
    };
    return all;
}

void createEach(const QSqlDatabase &db, const QStringList &names)
{
    for (const Table &table : tables())
        if (names.contains(table.name))
            ServerConnection::execute(db, table.definition);
    // The office's status looks for each room's last run among all events.
    if (names.contains(QStringLiteral("room_event")))
        ServerConnection::execute(db, QStringLiteral("CREATE INDEX room_event_run_started ON "
                                                     "room_event (room, at DESC) WHERE kind = "
                                                     "'run started'"));
}

} // namespace

namespace OfficeSchema {

void create(const QSqlDatabase &db)
{
    createEach(db, {QStringLiteral("room"), QStringLiteral("room_event")});
    SoundSchema::create(db);
}

QStringList missing(const QSqlDatabase &db)
{
    QStringList names;
    for (const Table &table : tables()) {
        // to_regclass needs no right on the table, unlike a probe that reads it.
        QSqlQuery query =
            Query::run(db, {QStringLiteral("SELECT to_regclass(?) IS NULL"), {table.name}});
        if (query.next() && query.value(0).toBool())
            names << table.name;
    }
    return names;
}

QStringList addMissing(const QSqlDatabase &db)
{
    QStringList names;
    ServerConnection::transaction(db, [&] {
        names = missing(db);
        createEach(db, names);
        names << SoundSchema::addMissing(db);
    });
    return names;
}

QString grants()
{
    return QStringLiteral(
               R"(-- The rooms: each PC logs in as a user of its own whose name is the room's
-- name (the setting [room] name), a member of tessivox_room.
CREATE ROLE tessivox_room NOLOGIN;
GRANT SELECT ON var, test, sound TO tessivox_room;
GRANT SELECT, INSERT, UPDATE ON room TO tessivox_room;
-- Sending an event again stores it once: that needs reading the room's own.
GRANT SELECT, INSERT ON room_event TO tessivox_room;

-- The exam office and the administrators: everything.
CREATE ROLE tessivox_admin NOLOGIN;
GRANT SELECT, INSERT, UPDATE, DELETE ON var, test, sound, room, room_event TO tessivox_admin;

)") + SoundSchema::grants() +
           QStringLiteral(R"(
-- A room writes only its own row and its own events.
ALTER TABLE room ENABLE ROW LEVEL SECURITY;
ALTER TABLE room_event ENABLE ROW LEVEL SECURITY;
CREATE POLICY own_row ON room TO tessivox_room
    USING (name = current_user) WITH CHECK (name = current_user);
CREATE POLICY own_events ON room_event TO tessivox_room
    USING (room = current_user) WITH CHECK (room = current_user);
CREATE POLICY office ON room TO tessivox_admin USING (true) WITH CHECK (true);
CREATE POLICY office ON room_event TO tessivox_admin USING (true) WITH CHECK (true);

-- For example:
--   CREATE USER "Room 17" IN ROLE tessivox_room;
--   CREATE USER office IN ROLE tessivox_admin;
)");
}

} // namespace OfficeSchema
