#include "office/OfficeSchema.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/SoundSchema.h"
#include "data/Transaction.h"
#include "office/Announcements.h"
#include "office/RoomStatus.h"
#include "office/ServerCapacity.h"
#include "schedule/ScheduleNotice.h"

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
                        "sound_files_named integer, "
                        "pc text, "
                        "pc_host text, "
                        "clash text, "
                        "clash_at timestamptz)")},
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
        // The PC that reports as the room, and another one that tried to.
        {QStringLiteral("room"), QStringLiteral("pc"), QStringLiteral("text")},
        {QStringLiteral("room"), QStringLiteral("pc_host"), QStringLiteral("text")},
        {QStringLiteral("room"), QStringLiteral("clash"), QStringLiteral("text")},
        {QStringLiteral("room"), QStringLiteral("clash_at"), QStringLiteral("timestamptz")},
    };
    return all;
}

// A room writes through these and nothing else: they run as the tables'
// owner, so a room needs no right on the tables, none that could lock them.
// The name is checked against session_user, which SET ROLE does not change.
// A login that may write the tables anyway (the owner, the office) reports
// under any name, as a centre without roles has every PC log in as one user.
// The wrong name is a bad value (22023), so a room tells it from a refusal
// of everything it sends. Every text a room sends has a bound, and a call a
// number of events: whatever a PC sends, the office's reading stays small.
// The marker line tells a body of this version from an older one.
const QString FunctionsMarker = QStringLiteral("-- tessivox functions 2");

// What a room's own functions check first: a login writes as its own room
// only, unless it may update every room (the office).
const QString RoomFunctionStart = FunctionsMarker + QStringLiteral(R"(
    IF room_name IS DISTINCT FROM session_user
            AND NOT has_table_privilege(session_user, 'room', 'UPDATE') THEN
        RAISE EXCEPTION 'login % may not report as room %', session_user, left(room_name, 200)
            USING ERRCODE = '22023';
    END IF;)");

const QString ReportFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_report(room_name text, room_version text, room_state text,
                                       room_subject text, offset_ms integer, refused_text text,
                                       files_held integer DEFAULT NULL,
                                       files_named integer DEFAULT NULL)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER AS $$
BEGIN
    %1
    IF length(room_name) > 200 OR length(room_version) > 100 OR length(room_subject) > 200
            OR length(refused_text) > %2 THEN
        RAISE EXCEPTION 'a report longer than the server takes (at most 200 characters of '
            'name, 100 of version, 200 of subject, %2 of refusal)' USING ERRCODE = '22001';
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
END $$)")
                                   .arg(RoomFunctionStart)
                                   .arg(OfficeSchema::MaxRefusedLength);

// events: a JSON array of the journal's lines.
const QString EventsFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_events(events jsonb)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER AS $$
BEGIN
    %1
    IF jsonb_typeof(events) IS DISTINCT FROM 'array' OR jsonb_array_length(events) > %2 THEN
        RAISE EXCEPTION 'at most %2 events in one call' USING ERRCODE = '22023';
    END IF;
    IF EXISTS (SELECT FROM jsonb_to_recordset(events) AS e(room text, run text, kind text,
                    subject text, file text, reason text)
               WHERE length(e.room) > 200 OR length(e.run) > 64 OR length(e.kind) > 40
                   OR length(e.subject) > 200 OR length(e.file) > 1000
                   OR length(e.reason) > 2000) THEN
        RAISE EXCEPTION 'an event longer than the server takes (at most 200 characters of room '
            'and subject, 64 of run, 40 of kind, 1000 of file, 2000 of reason)'
            USING ERRCODE = '22001';
    END IF;
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
END $$)")
                                   .arg(FunctionsMarker)
                                   .arg(OfficeSchema::MaxEventsPerCall);

// A room claims its name for its PC before it reports: a PC whose name
// another PC seen lately holds is told that PC's host and address, and the
// other's row keeps who tried, for the office. The row is not the second's.
const QString PcFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_pc(room_name text, pc_id text, pc_host text)
RETURNS text LANGUAGE plpgsql SECURITY DEFINER AS $$
DECLARE
    known room%ROWTYPE;
    here text;
BEGIN
    %1
    IF length(room_name) > 200 OR length(pc_id) > 64 OR length(pc_host) > 200 THEN
        RAISE EXCEPTION 'a PC named longer than the server takes (at most 64 characters of '
            'id, 200 of host name)' USING ERRCODE = '22001';
    END IF;
    here := coalesce(pc_host, '?') || coalesce(' ' || host(inet_client_addr()), '');
    SELECT * INTO known FROM room WHERE name = room_name FOR UPDATE;
    IF FOUND AND known.pc IS DISTINCT FROM pc_id AND known.pc IS NOT NULL
            AND known.last_seen > now() - interval '%2 milliseconds' THEN
        UPDATE room SET clash = here, clash_at = now() WHERE name = room_name;
        RETURN known.pc_host;
    END IF;
    INSERT INTO room AS r (name, pc, pc_host) VALUES (room_name, pc_id, here)
    ON CONFLICT (name) DO UPDATE SET pc = excluded.pc, pc_host = excluded.pc_host;
    RETURN NULL;
END $$)")
                               .arg(RoomFunctionStart)
                               .arg(RoomStatus::UnseenAfterMs);

// The announcements of a day a room reported on, from any of its PCs: a PC
// new to the room must not call them missed. Another room's are nobody's
// business but the office's.
const QString HandledFunction = QStringLiteral(R"(
CREATE OR REPLACE FUNCTION room_announcements_handled(room_name text, on_day date)
RETURNS SETOF bigint LANGUAGE sql STABLE SECURITY DEFINER AS $$
    %1
    SELECT DISTINCT e.announcement FROM room_event e JOIN announcement a ON a.id = e.announcement
    WHERE e.room = room_name AND a.day = on_day
        AND (room_name = session_user OR has_table_privilege(session_user, 'room_event', 'SELECT'))
$$)")
                                    .arg(FunctionsMarker);

const QStringList Functions{
    QStringLiteral("room_report(text,text,text,text,integer,text,integer,integer)"),
    QStringLiteral("room_events(jsonb)"), QStringLiteral("room_pc(text,text,text)"),
    QStringLiteral("room_announcements_handled(text,date)")};

// What a room's reports do without, on a server not yet upgraded: the
// announcements, and telling PCs of one name apart.
bool reportsGoWithout(const QString &name)
{
    return name.contains(QLatin1String("announcement")) ||
           name.startsWith(QLatin1String("room.pc")) ||
           name.startsWith(QLatin1String("room.clash")) ||
           name.startsWith(QLatin1String("room_pc("));
}

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
    execute(db, PcFunction);
    execute(db, HandledFunction);
    execute(db, QStringLiteral(
                    "DO $$ DECLARE f text; BEGIN "
                    "FOREACH f IN ARRAY ARRAY['room_report(text,text,text,text,integer,"
                    "text,integer,integer)', 'room_events(jsonb)', "
                    "'room_pc(text,text,text)', 'room_announcements_handled(text,date)'] LOOP "
                    "EXECUTE format('ALTER FUNCTION %s SET search_path = %I, pg_temp', f, "
                    "current_schema()); "
                    "EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f); "
                    "END LOOP; END $$"));
}

// Every column that names a content by its SHA-256: a room makes a path of
// it, so nothing but 64 hex digits may stand there. Rows from before the
// check stay (NOT VALID): a room refuses them itself.
const QStringList HashTables{QStringLiteral("announcement"), QStringLiteral("sound_file"),
                             QStringLiteral("sound_file_chunk")};

QStringList addHashChecks(const QSqlDatabase &db)
{
    QStringList added;
    for (const QString &table : HashTables) {
        const QString name = table + QStringLiteral("_sha256_check");
        if (!yes(db,
                 QStringLiteral("SELECT to_regclass(?) IS NOT NULL AND NOT EXISTS (SELECT FROM "
                                "pg_constraint WHERE conrelid = to_regclass(?) AND conname = ?)"),
                 {table, table, name}))
            continue;
        execute(db, QStringLiteral("ALTER TABLE %1 ADD CONSTRAINT %2 CHECK (sha256 ~ "
                                   "'^[0-9a-f]{64}$') NOT VALID")
                        .arg(table, name));
        added << table + QStringLiteral(".sha256 check");
    }
    return added;
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
    ScheduleNotice::watchRecordings(db);
    addHashChecks(db);
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
    // One of an older version lacks the bounds: it is replaced.
    for (const QString &function : Functions)
        if (yes(db,
                QStringLiteral("SELECT NOT EXISTS (SELECT FROM pg_proc WHERE oid = "
                               "to_regprocedure(?) AND strpos(prosrc, ?) > 0)"),
                {function, FunctionsMarker}))
            names << function;
    if (yes(db, QStringLiteral("SELECT to_regclass('announcement') IS NULL"), {}))
        names << QStringLiteral("announcement");
    return names;
}

QStringList missingForReports(const QSqlDatabase &db)
{
    QStringList names = missing(db);
    names.removeIf(reportsGoWithout);
    return names;
}

void requireTables(const QSqlDatabase &db)
{
    const QStringList names = missing(db);
    if (names.isEmpty())
        return;
    // Not even the schedule: the address leads to another database, or its
    // search_path elsewhere than the tables. An upgrade would only add a
    // second office beside them.
    QSqlQuery path = Query::run(
        db, {QStringLiteral("SELECT to_regclass('sound') IS NULL, current_setting('search_path')"),
             {}});
    if (path.next() && path.value(0).toBool())
        throw DbError(QStringLiteral("no exam tables (var, test, sound) on the search path \"%1\": "
                                     "check the database and the options of the address")
                          .arg(path.value(1).toString()),
                      DbError::Kind::NotTessivox);
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
        const QStringList recordings = SoundSchema::addMissing(db);
        if (recordings.contains(QStringLiteral("sound_file")))
            ScheduleNotice::watchRecordings(db);
        names << recordings;
        names << addHashChecks(db);
    });
    return names;
}

QString grants()
{
    const QString limit = QString::number(ServerCapacity::PerRoomLogin);
    return QStringLiteral(
               R"(-- Safe to run again: what exists already stays, and what came later is added.
-- The rooms: each PC logs in as a user of its own whose name is the room's
-- name (the setting [room] name), a member of tessivox_room. A room reads the
-- schedule and writes its row and events only through the two functions,
-- which check its login's name: no right on room or room_event at all.
DO $$ BEGIN CREATE ROLE tessivox_room NOLOGIN;
EXCEPTION WHEN duplicate_object THEN NULL; END $$;
GRANT SELECT ON var, test, sound, announcement, schedule_changes TO tessivox_room;
GRANT EXECUTE ON FUNCTION room_report(text, text, text, text, integer, text, integer, integer),
    room_events(jsonb), room_pc(text, text, text),
    room_announcements_handled(text, date) TO tessivox_room;

-- The exam office and the administrators: everything, and they alone speak
-- to the rooms.
DO $$ BEGIN CREATE ROLE tessivox_admin NOLOGIN;
EXCEPTION WHEN duplicate_object THEN NULL; END $$;
GRANT SELECT, INSERT, UPDATE, DELETE ON var, test, sound, room, room_event, announcement
    TO tessivox_admin;
-- The count of the schedule's changes is raised by its trigger alone.
GRANT SELECT ON schedule_changes TO tessivox_admin;
GRANT USAGE ON SEQUENCE announcement_id_seq TO tessivox_admin;
GRANT EXECUTE ON FUNCTION room_report(text, text, text, text, integer, text, integer, integer),
    room_events(jsonb), room_pc(text, text, text),
    room_announcements_handled(text, date) TO tessivox_admin;

)") + SoundSchema::grants() +
           QStringLiteral(R"(
-- Only the centre's roles open sessions on this database (every login of the
-- server may, otherwise, and take the slots the rooms and the office need),
-- and a room's login at most %1 at once.
DO $$ DECLARE login name; BEGIN
    EXECUTE format('REVOKE CONNECT ON DATABASE %I FROM PUBLIC', current_database());
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO tessivox_room, tessivox_admin',
                   current_database());
    FOR login IN SELECT r.rolname FROM pg_roles r
            JOIN pg_auth_members m ON m.member = r.oid
            JOIN pg_roles g ON g.oid = m.roleid
            WHERE g.rolname = 'tessivox_room' AND r.rolcanlogin
            AND NOT r.rolsuper AND r.rolconnlimit NOT BETWEEN 0 AND %1 LOOP
        EXECUTE format('ALTER ROLE %I CONNECTION LIMIT %1', login);
    END LOOP;
END $$;

-- For example (run this again after adding rooms: their logins get the limit):
--   CREATE USER "Room 17" IN ROLE tessivox_room CONNECTION LIMIT %1;
--   CREATE USER office IN ROLE tessivox_admin;
)")
               .arg(limit);
}

} // namespace OfficeSchema
