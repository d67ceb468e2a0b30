#include "office/OfficeSchema.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/SoundSchema.h"
#include "data/Transaction.h"
#include "office/Announcements.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>

namespace {

// A statement without values: DDL and function bodies cannot be prepared.
void execute(const QSqlDatabase &db, const QString &sql)
{
    Query::run(db, {sql, {}});
}

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
                        "refused text, "
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
                                                      "received_at timestamptz NOT NULL "
                                                      "DEFAULT now(), "
                                                      "announcement bigint, "
                                                      "PRIMARY KEY (room, run_id, seq))")},
    };
    return all;
}

// Columns that came after the tables: an older centre's tables lack them.
struct Column
{
    QString table;
    QString name;
    QString definition;
};

const QList<Column> &laterColumns()
{
    static const QList<Column> all{
        {QStringLiteral("room"), QStringLiteral("refused"), QStringLiteral("text")},
        // How many of the recordings its schedule names a room holds.
        {QStringLiteral("room"), QStringLiteral("sound_files_held"), QStringLiteral("integer")},
        {QStringLiteral("room"), QStringLiteral("sound_files_named"), QStringLiteral("integer")},
        // Rows already there get the time of the upgrade: their runs are
        // then told apart by their own times.
        {QStringLiteral("room_event"), QStringLiteral("received_at"),
         QStringLiteral("timestamptz NOT NULL DEFAULT now()")},
        // Which announcement an event of one tells of.
        {QStringLiteral("room_event"), QStringLiteral("announcement"), QStringLiteral("bigint")},
    };
    return all;
}

// A room writes through these and nothing else: they run as the tables'
// owner, so a room needs no right on the tables, none that could lock them.
// The name is checked against session_user, which SET ROLE does not change.
// A login that may write the tables anyway (the owner, the office) reports
// under any name, as a centre without roles has every PC log in as one user.
// The wrong name is a bad value (22023), so a room tells it from a refusal
// of everything it sends.
const QString ReportFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_report(room_name text, room_version text, room_state text,
                                       room_subject text, offset_ms integer, refused_text text,
                                       files_held integer DEFAULT NULL,
                                       files_named integer DEFAULT NULL)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER AS $$
BEGIN
    IF room_name IS DISTINCT FROM session_user
            AND NOT has_table_privilege(session_user, 'room', 'UPDATE') THEN
        RAISE EXCEPTION 'login % may not report as room %', session_user, room_name
            USING ERRCODE = '22023';
    END IF;
    INSERT INTO room AS r (name, version, last_seen, state, subject, clock_offset_ms, refused,
                           sound_files_held, sound_files_named)
    VALUES (room_name, room_version, now(), room_state, room_subject, offset_ms, refused_text,
            files_held, files_named)
    ON CONFLICT (name) DO UPDATE SET version = excluded.version, last_seen = excluded.last_seen,
        state = excluded.state, subject = excluded.subject,
        clock_offset_ms = coalesce(excluded.clock_offset_ms, r.clock_offset_ms),
        refused = excluded.refused,
        sound_files_held = coalesce(excluded.sound_files_held, r.sound_files_held),
        sound_files_named = coalesce(excluded.sound_files_named, r.sound_files_named);
END $$)");

// events: a JSON array of the journal's lines.
const QString EventsFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_events(events jsonb)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER AS $$
BEGIN
    IF NOT has_table_privilege(session_user, 'room_event', 'INSERT') AND EXISTS (
            SELECT FROM jsonb_array_elements(events) e
            WHERE e->>'room' IS DISTINCT FROM session_user) THEN
        RAISE EXCEPTION 'login % may send only its own events', session_user
            USING ERRCODE = '22023';
    END IF;
    INSERT INTO room_event (room, run_id, seq, at, kind, subject, second, delay_ms, file, reason,
                            announcement)
    SELECT e.room, e.run, e.seq, e.at, e.kind, e.subject, e.second, e.delay::bigint, e.file,
        e.reason, e.announcement
    FROM jsonb_to_recordset(events) AS e(room text, run text, seq integer, at timestamptz,
        kind text, subject text, second time, delay numeric, file text, reason text,
        announcement bigint)
    ON CONFLICT (room, run_id, seq) DO NOTHING;
END $$)");

// The announcements of a day a room reported on, from any of its PCs: a PC
// new to the room must not call them missed. Another room's are nobody's
// business but the office's.
const QString HandledFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_announcements_handled(room_name text, on_day date)
RETURNS SETOF bigint LANGUAGE sql STABLE SECURITY DEFINER AS $$
    SELECT DISTINCT e.announcement FROM room_event e JOIN announcement a ON a.id = e.announcement
    WHERE e.room = room_name AND a.day = on_day
        AND (room_name = session_user OR has_table_privilege(session_user, 'room_event', 'SELECT'))
$$)");

const QStringList Functions{
    QStringLiteral("room_report(text,text,text,text,integer,text,integer,integer)"),
    QStringLiteral("room_events(jsonb)"), QStringLiteral("room_announcements_handled(text,date)")};

bool yes(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery query = Query::run(db, {sql, values});
    return query.next() && query.value(0).toBool();
}

// Without search_path fixed, a function that runs as the owner would find
// whatever tables the caller put first on its own path.
void createFunctions(const QSqlDatabase &db)
{
    // The report before the recordings' counts: another signature is
    // another function, which would stay beside the new one and make a call
    // with six values ambiguous. Such a call (a room of that version) takes
    // the new one, its counts none.
    // Quietly: on a new database the server's notice that there was none
    // would reach the tool's user as noise.
    execute(db, QStringLiteral("SET client_min_messages = warning"));
    execute(db, QStringLiteral("DROP FUNCTION IF EXISTS room_report(text, text, text, text, "
                               "integer, text)"));
    execute(db, QStringLiteral("RESET client_min_messages"));
    execute(db, ReportFunction);
    execute(db, EventsFunction);
    execute(db, HandledFunction);
    execute(db,
            QStringLiteral("DO $$ DECLARE f text; BEGIN "
                           "FOREACH f IN ARRAY ARRAY['room_report(text,text,text,text,integer,"
                           "text,integer,integer)', 'room_events(jsonb)', "
                           "'room_announcements_handled(text,date)'] LOOP "
                           "EXECUTE format('ALTER FUNCTION %s SET search_path = %I, pg_temp', f, "
                           "current_schema()); "
                           "EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f); "
                           "END LOOP; END $$"));
}

void createEach(const QSqlDatabase &db, const QStringList &names)
{
    for (const Table &table : tables())
        if (names.contains(table.name))
            execute(db, table.definition);
    for (const Column &column : laterColumns())
        if (names.contains(column.table + QLatin1Char('.') + column.name))
            execute(db, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                            .arg(column.table, column.name, column.definition));
    // The office's status looks for each room's last run by when the server
    // received it: a room's clock may be wrong.
    if (names.contains(QStringLiteral("room_event")) ||
        names.contains(QStringLiteral("room_event.received_at")))
        execute(db, QStringLiteral("CREATE INDEX room_event_run_received ON "
                                   "room_event (room, received_at DESC) WHERE "
                                   "kind = 'run started'"));
    if (names.contains(QStringLiteral("announcement")))
        Announcements::create(db);
    // The events' function of a server from before announcements drops
    // their ids.
    if (names.contains(QStringLiteral("room_event.announcement")) ||
        std::any_of(Functions.cbegin(), Functions.cend(),
                    [&](const QString &f) { return names.contains(f); }))
        createFunctions(db);
}

} // namespace

namespace OfficeSchema {

void create(const QSqlDatabase &db)
{
    createEach(db, QStringList{QStringLiteral("room"), QStringLiteral("room_event"),
                               QStringLiteral("announcement")} +
                       Functions);
    SoundSchema::create(db);
}

QStringList missing(const QSqlDatabase &db)
{
    QStringList names;
    // to_regclass, pg_attribute and to_regprocedure need no right on the
    // tables, unlike a probe that reads them: a room may ask.
    for (const Table &table : tables())
        if (yes(db, QStringLiteral("SELECT to_regclass(?) IS NULL"), {table.name}))
            names << table.name;
    for (const Column &column : laterColumns())
        if (!names.contains(column.table) &&
            yes(db,
                QStringLiteral("SELECT NOT EXISTS (SELECT FROM pg_attribute WHERE attrelid = "
                               "to_regclass(?) AND attname = ? AND NOT attisdropped)"),
                {column.table, column.name}))
            names << column.table + QLatin1Char('.') + column.name;
    for (const QString &function : Functions)
        if (yes(db, QStringLiteral("SELECT to_regprocedure(?) IS NULL"), {function}))
            names << function;
    if (yes(db, QStringLiteral("SELECT to_regclass('announcement') IS NULL"), {}))
        names << QStringLiteral("announcement");
    return names;
}

QStringList missingForReports(const QSqlDatabase &db)
{
    QStringList names = missing(db);
    names.removeIf(
        [](const QString &name) { return name.contains(QLatin1String("announcement")); });
    return names;
}

void requireTables(const QSqlDatabase &db)
{
    if (const QStringList names = missing(db); !names.isEmpty())
        throw DbError(QStringLiteral("the server lacks %1: tessivox-db upgrade adds it")
                          .arg(names.join(QStringLiteral(", "))),
                      DbError::Kind::Outdated);
}

QStringList addMissing(const QSqlDatabase &db)
{
    QStringList names;
    Transaction::run(db, {QStringLiteral("BEGIN")}, [&] {
        // Adding a column waits for every transaction on the table, and
        // every report and reading of the office would queue behind it: a
        // room that keeps a transaction open makes the upgrade fail instead.
        execute(db, QStringLiteral("SET LOCAL lock_timeout = '2s'"));
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
-- name (the setting [room] name), a member of tessivox_room. A room reads the
-- schedule and writes its row and events only through the two functions,
-- which check its login's name: no right on room or room_event at all.
CREATE ROLE tessivox_room NOLOGIN;
GRANT SELECT ON var, test, sound, announcement TO tessivox_room;
GRANT EXECUTE ON FUNCTION room_report(text, text, text, text, integer, text, integer, integer),
    room_events(jsonb), room_announcements_handled(text, date) TO tessivox_room;

-- The exam office and the administrators: everything, and they alone speak
-- to the rooms.
CREATE ROLE tessivox_admin NOLOGIN;
GRANT SELECT, INSERT, UPDATE, DELETE ON var, test, sound, room, room_event, announcement
    TO tessivox_admin;
GRANT USAGE ON SEQUENCE announcement_id_seq TO tessivox_admin;
GRANT EXECUTE ON FUNCTION room_report(text, text, text, text, integer, text, integer, integer),
    room_events(jsonb), room_announcements_handled(text, date) TO tessivox_admin;

)") + SoundSchema::grants() +
           QStringLiteral(R"(
-- For example:
--   CREATE USER "Room 17" IN ROLE tessivox_room;
--   CREATE USER office IN ROLE tessivox_admin;
)");
}

} // namespace OfficeSchema
