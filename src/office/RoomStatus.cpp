#include "office/RoomStatus.h"

#include "data/Query.h"
#include "data/StoredTime.h"
#include "schedule/Statements.h"

#include <QHash>
#include <QSqlQuery>
#include <algorithm>

namespace {

// The last run of each room is the one whose start the server received
// last: a room's clock may have been wrong. Texts are cut to the bounds
// the rooms' functions keep, also those written before them.
const QString Overview = QStringLiteral(R"(
WITH last_run AS (
    SELECT DISTINCT ON (room) room, run_id, left(subject, 200) AS subject FROM room_event
    WHERE kind = 'run started' ORDER BY room, received_at DESC, at DESC),
counts AS (
    SELECT e.room, e.run_id, min(l.subject) AS subject,
        count(*) FILTER (WHERE e.kind = 'played') AS played,
        count(*) FILTER (WHERE e.kind = 'missed') AS missed,
        count(*) FILTER (WHERE e.kind = 'failed') AS failed,
        max(e.delay_ms) FILTER (WHERE e.kind = 'played') AS worst
    FROM room_event e JOIN last_run l ON l.room = e.room AND l.run_id = e.run_id
    GROUP BY e.room, e.run_id)
SELECT r.name, r.state, left(r.subject, 200), left(r.version, 100), r.last_seen,
    (extract(epoch FROM now() - r.last_seen) * 1000)::bigint, r.clock_offset_ms,
    c.run_id, c.played, c.missed, c.failed, c.worst, c.subject, left(r.refused, 1000),
    r.sound_files_held, r.sound_files_named,
    CASE WHEN r.clash_at > now() - interval '%1 milliseconds' THEN left(r.clash, 300) END
FROM room r LEFT JOIN counts c ON c.room = r.name)")
                             .arg(RoomStatus::UnseenAfterMs);

std::optional<qint64> number(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
}

// Play times of the subjects being run, by subject. Without the schedule's
// tables (an office database of its own) there is nothing to say.
QHash<QString, QList<QTime>> runningSchedules(const QSqlDatabase &db)
{
    QHash<QString, QList<QTime>> schedules;
    try {
        QSqlQuery query = Query::run(db, Statements::selectRunningPlaytimes());
        while (query.next())
            if (const QTime time = StoredTime::toTime(query.value(1).toString()); time.isValid())
                schedules[query.value(0).toString()].append(time);
    } catch (const std::exception &) {
        schedules.clear();
    }
    return schedules;
}

QTime nextAfter(const QList<QTime> &times, const QTime &now)
{
    QTime next;
    for (const QTime &time : times)
        if (time > now && (!next.isValid() || time < next))
            next = time;
    return next;
}

} // namespace

QString RoomStatus::problemText(const ProblemWords &words) const
{
    QStringList parts;
    if (problems & Unseen)
        parts << words.unseen;
    if (problems & Refused)
        parts << words.refused.arg(refused);
    if (problems & ClockOff)
        parts << words.clockOff;
    if (problems & Missed)
        parts << words.missed.arg(missed);
    if (problems & Failed)
        parts << words.failed.arg(failed);
    if (problems & SoundsNotReady)
        parts << words.soundsNotReady.arg(*soundFilesHeld).arg(*soundFilesNamed);
    if (problems & NameClash)
        parts << words.nameClash.arg(clash);
    return parts.join(words.separator);
}

QList<RoomStatus> RoomStatus::readAll(const QSqlDatabase &db, int clockLimitMs,
                                      const QDateTime &now)
{
    const QHash<QString, QList<QTime>> schedules = runningSchedules(db);
    QList<RoomStatus> rooms;
    QSqlQuery query = Query::run(db, {Overview, {}});
    while (query.next()) {
        RoomStatus room;
        room.name = query.value(0).toString();
        room.running = query.value(1).toString() == QLatin1String("running");
        room.subject = query.value(2).toString();
        room.version = query.value(3).toString();
        room.lastSeen = query.value(4).toDateTime().toLocalTime();
        room.unseenMs = number(query.value(5));
        room.clockOffsetMs = number(query.value(6));
        room.runId = query.value(7).toString();
        room.played = query.value(8).toInt();
        room.missed = query.value(9).toInt();
        room.failed = query.value(10).toInt();
        room.worstDelayMs = number(query.value(11));
        room.runSubject = query.value(12).toString();
        room.refused = query.value(13).toString();
        if (!query.isNull(14) && !query.isNull(15)) {
            room.soundFilesHeld = query.value(14).toInt();
            room.soundFilesNamed = query.value(15).toInt();
        }
        room.clash = query.value(16).toString();
        room.problems =
            (room.unseenMs.value_or(UnseenAfterMs + 1) > UnseenAfterMs ? Unseen : 0) |
            (room.refused.isEmpty() ? 0 : Refused) | (room.missed > 0 ? Missed : 0) |
            (room.failed > 0 ? Failed : 0) |
            (room.clockOffsetMs && qAbs(*room.clockOffsetMs) > clockLimitMs ? ClockOff : 0) |
            (room.soundFilesHeld && *room.soundFilesHeld < *room.soundFilesNamed ? SoundsNotReady
                                                                                 : 0) |
            (room.clash.isEmpty() ? 0 : NameClash);
        // An unseen room's row tells what it did once, not what it does now.
        if (room.running && !(room.problems & Unseen))
            room.nextDue = nextAfter(schedules.value(room.subject),
                                     now.addMSecs(room.clockOffsetMs.value_or(0)).time());
        rooms.append(room);
    }
    std::stable_sort(rooms.begin(), rooms.end(), [](const RoomStatus &a, const RoomStatus &b) {
        if (a.isWell() != b.isWell())
            return !a.isWell();
        return a.name < b.name;
    });
    return rooms;
}

QList<QStringList> RoomStatus::runEvents(const QSqlDatabase &db, const QString &room,
                                         const QString &runId)
{
    QSqlQuery query = Query::run(
        db, {QStringLiteral("SELECT at, kind, second, delay_ms, file, reason FROM room_event "
                            "WHERE room = ? AND run_id = ? ORDER BY seq"),
             {room, runId}});
    const auto text = [&query](int column) {
        return query.isNull(column) ? QString() : query.value(column).toString();
    };
    QList<QStringList> events;
    while (query.next())
        events.append({query.value(0).toDateTime().toLocalTime().toString(
                           QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                       text(1),
                       query.isNull(2)
                           ? QString()
                           : query.value(2).toTime().toString(QStringLiteral("HH:mm:ss")),
                       text(3), text(4), text(5)});
    return events;
}
