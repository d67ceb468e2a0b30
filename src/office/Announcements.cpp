#include "office/Announcements.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "schedule/ScheduleNotice.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundCache.h"
#include "data/SoundStore.h"
#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlQuery>

namespace {

const QString Time = QStringLiteral("HH:mm:ss");

// Room names never hold a line break: it separates them on their way to an
// array, which the driver cannot bind.
const QString NameBreak = QStringLiteral("\n");

QString kindOf(const QString &what)
{
    return QStringLiteral("announcement ") + what;
}

// The server's name for the recording: the file's own, unless the server
// holds another content by that name, which a subject may play.
QString nameFor(const QSqlDatabase &db, const QString &path, const QString &sha256)
{
    const QFileInfo info(path);
    const SoundStore::Held held = SoundStore::held(db).value(info.fileName());
    if (held.sha256.isEmpty() || held.sha256 == sha256)
        return info.fileName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    return info.completeBaseName() + QLatin1Char('-') + sha256.left(8) + suffix;
}

// Whether second is far enough ahead by the server's clock, today: a time
// of day that wraps past midnight is not.
const QString Ahead = QStringLiteral("?::time >= LOCALTIME + make_interval(secs => ?) AND "
                                     "LOCALTIME + make_interval(secs => ?) >= LOCALTIME");

DbError tooLate(const QTime &second)
{
    return DbError(QStringLiteral("%1 is less than %2 s ahead by the server's clock: every room "
                                  "needs that long to get it ready")
                       .arg(second.toString(Time))
                       .arg(Announcements::LeadS));
}

// Those of rooms the server has never heard from.
QStringList unknownRooms(const QSqlDatabase &db, const QStringList &rooms)
{
    if (rooms.isEmpty())
        return {};
    QSqlQuery query =
        Query::run(db, {QStringLiteral("SELECT n FROM unnest(string_to_array(?, E'\\n')) n "
                                       "WHERE n NOT IN (SELECT name FROM room) ORDER BY n"),
                        {rooms.join(NameBreak)}});
    QStringList unknown;
    while (query.next())
        unknown << query.value(0).toString();
    return unknown;
}

// The rooms, of those given (none: all), whose clocks are so far ahead of
// the server's that their second comes before they could have it ready.
QStringList fastRooms(const QSqlDatabase &db, const QTime &second, const QStringList &rooms)
{
    QSqlQuery query = Query::run(
        db, {QStringLiteral(
                 "SELECT name, clock_offset_ms FROM room WHERE clock_offset_ms >= "
                 "extract(epoch FROM ?::time - LOCALTIME) * 1000 - ?::int AND "
                 "(coalesce(?, '') = '' OR name = ANY (string_to_array(?, E'\\n'))) ORDER BY name"),
             {second.toString(Time), Announcements::ReadyMs, rooms.join(NameBreak),
              rooms.join(NameBreak)}});
    QStringList fast;
    while (query.next())
        fast << QStringLiteral("%1 (%2 s ahead)")
                    .arg(query.value(0).toString())
                    .arg(query.value(1).toLongLong() / 1000.0, 0, 'f', 1);
    return fast;
}

} // namespace

namespace Announcements {

void create(const QSqlDatabase &db)
{
    Query::run(db, {QStringLiteral("CREATE TABLE announcement ("
                                   "id bigserial PRIMARY KEY, "
                                   "day date NOT NULL, "
                                   "second time(0) NOT NULL, "
                                   "file text NOT NULL, "
                                   "sha256 text NOT NULL, "
                                   "size bigint NOT NULL, "
                                   "text text NOT NULL DEFAULT '', "
                                   "rooms text[], "
                                   "made_by text NOT NULL DEFAULT session_user, "
                                   "made_at timestamptz NOT NULL DEFAULT now())"),
                    {}});
    const QString function = QStringLiteral("tessivox_announcement_changed");
    ScheduleNotice::createNotifier(db, function, Channel, QStringLiteral("''"));
    ScheduleNotice::watch(db, QStringLiteral("announcement"), function);
}

QList<Due> readFor(const QSqlDatabase &db, const QString &room, const QDate &day)
{
    QSqlQuery query = Query::run(
        db, {QStringLiteral("SELECT id, to_char(second, 'HH24:MI:SS'), text, file, sha256, size "
                            "FROM announcement WHERE day = ?::date AND (rooms IS NULL OR ? = "
                            "ANY (rooms)) ORDER BY second, id"),
             {day.toString(Qt::ISODate), room}});
    QList<Due> due;
    while (query.next())
        due << Due{query.value(0).toLongLong(), QTime::fromString(query.value(1).toString(), Time),
                   query.value(2).toString(),   query.value(3).toString(),
                   query.value(4).toString(),   query.value(5).toLongLong()};
    // A server from before the room could ask knows of none.
    QSqlQuery reported = Query::run(
        db, {QStringLiteral("SELECT room_announcements_handled(?, ?::date) WHERE "
                            "to_regprocedure('room_announcements_handled(text,date)') IS NOT NULL"),
             {room, day.toString(Qt::ISODate)}});
    QSet<qint64> ids;
    while (reported.next())
        ids.insert(reported.value(0).toLongLong());
    for (Due &one : due)
        one.reported = ids.contains(one.id);
    return due;
}

QList<SoundStore::Held> toFetch(const QList<Due> &due, const QTime &now,
                                const QSet<qint64> &handled)
{
    QList<SoundStore::Held> files;
    for (const Due &one : due)
        if (!handled.contains(one.id) && one.second >= now && SoundCache::isHash(one.sha256))
            files << SoundStore::Held{one.file, one.sha256, one.size};
    return files;
}

Published publish(ServerLink &link, const Request &request, std::chrono::milliseconds deadline)
{
    try {
        // A file without a frame opens, yet a room's output lets go of it
        // at once with nothing heard.
        if (SoundFile(request.path).lengthMs() <= 0)
            throw DbError(QStringLiteral("%1 holds no sound (0 ms): nothing would be heard")
                              .arg(request.path));
    } catch (const SoundError &error) {
        throw DbError(QStringLiteral("not a sound file that the rooms can play: ") + error.text());
    }
    QStringList rooms;
    for (const QString &room : request.rooms)
        if (!room.trimmed().isEmpty())
            rooms << room.trimmed();
    // Rooms given that name nobody would become every room.
    if (rooms.isEmpty() && !request.rooms.isEmpty())
        throw DbError(
            QStringLiteral("the rooms given name no room; leave them out for every room"));
    qint64 size = 0;
    const QString sha256 = SoundStore::sha256Of(request.path, &size);
    Published published;
    const QVariantList ahead{request.second.toString(Time), LeadS, LeadS};
    link.run(
        [&](Session &session) {
            if (!Query::run(session.db(), {QStringLiteral("SELECT 1 WHERE ") + Ahead, ahead})
                     .next())
                throw tooLate(request.second);
            if (const QStringList unknown = unknownRooms(session.db(), rooms); !unknown.isEmpty())
                throw DbError(QStringLiteral("no room by the name %1 has ever reported to this "
                                             "server: nothing was stored")
                                  .arg(unknown.join(QStringLiteral(", "))));
            published.file = nameFor(session.db(), request.path, sha256);
            published.fastRooms = fastRooms(session.db(), request.second, rooms);
        },
        deadline);
    published.sent = SoundStore::store(link, published.file, request.path, deadline) ==
                     SoundStore::Outcome::Sent;
    link.run(
        [&](Session &session) {
            // Checked when it is written: storing the recording may have
            // taken the time the rooms needed.
            QSqlQuery query = Query::run(
                session.db(),
                {QStringLiteral(
                     "INSERT INTO announcement (day, second, file, sha256, size, text, rooms) "
                     "SELECT current_date, ?::time, ?, ?, ?, ?, string_to_array(?, E'\\n') "
                     "WHERE ") +
                     Ahead + QStringLiteral(" RETURNING id, current_date"),
                 QVariantList{request.second.toString(Time), published.file, sha256, size,
                              // An empty text is still a text, not a null.
                              request.text.isNull() ? QStringLiteral("") : request.text,
                              rooms.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                              : QVariant(rooms.join(NameBreak))} +
                     ahead});
            if (!query.next())
                throw DbError(tooLate(request.second).text() +
                              QStringLiteral("; the recording is stored on the server as %1 and "
                                             "is not sent again when announced anew")
                                  .arg(published.file));
            published.id = query.value(0).toLongLong();
            published.day = query.value(1).toDate();
        },
        deadline);
    return published;
}

QString Outcome::failure() const
{
    return what == QLatin1String("failed") ? reason : QString();
}

QString Report::summary() const
{
    int played = 0, failed = 0, missed = 0, silent = 0;
    std::optional<qint64> latest;
    for (const Outcome &outcome : outcomes) {
        if (outcome.what == QLatin1String("played")) {
            ++played;
            if (outcome.delayMs && (!latest || *outcome.delayMs > *latest))
                latest = outcome.delayMs;
        } else if (outcome.what == QLatin1String("failed"))
            ++failed;
        else if (outcome.what == QLatin1String("missed"))
            ++missed;
        else
            ++silent;
    }
    QString line = QStringLiteral("已播放 %1").arg(played);
    if (latest)
        line += QStringLiteral("（最迟 %1%2 ms）").arg(*latest < 0 ? "" : "+").arg(*latest);
    line += QStringLiteral("，失败 %1，错过 %2，未回报 %3").arg(failed).arg(missed).arg(silent);
    // Heard before the office's second by the server's clock: the room's
    // clock is fast, and its candidates heard it early.
    QStringList early;
    for (const Outcome &outcome : outcomes)
        if (outcome.what == QLatin1String("played") && outcome.delayMs &&
            *outcome.delayMs <= -EarlyMs)
            early << QStringLiteral("%1 %2 ms").arg(outcome.room).arg(*outcome.delayMs);
    if (!early.isEmpty())
        line += QStringLiteral("，提前播放：") + early.join(QStringLiteral("、"));
    return line;
}

QList<Report> today(const QSqlDatabase &db)
{
    // Per room the outcome it reported first, a play or failure before a
    // "missed" a later start of its program may have added.
    QSqlQuery query = Query::run(
        db, {QStringLiteral(
                 "SELECT a.id, to_char(a.second, 'HH24:MI:SS'), a.text, a.file, "
                 "coalesce(array_to_string(a.rooms, E'\\n'), ''), r.name, e.kind, e.delay_ms, "
                 "e.reason FROM announcement a "
                 "LEFT JOIN LATERAL (SELECT name FROM room WHERE a.rooms IS NULL OR name = ANY "
                 "(a.rooms) UNION SELECT unnest(a.rooms) UNION SELECT room FROM room_event WHERE "
                 "announcement = a.id) r ON true "
                 "LEFT JOIN LATERAL (SELECT kind, delay_ms, reason FROM room_event WHERE "
                 "announcement = a.id AND room = r.name ORDER BY kind = ?, received_at LIMIT 1) e "
                 "ON true WHERE a.day = current_date ORDER BY a.second DESC, a.id DESC, r.name"),
             {kindOf(QStringLiteral("missed"))}});
    QList<Report> reports;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        if (reports.isEmpty() || reports.last().id != id) {
            const QString rooms = query.value(4).toString();
            reports << Report{id,
                              QTime::fromString(query.value(1).toString(), Time),
                              query.value(2).toString(),
                              query.value(3).toString(),
                              rooms.isEmpty() ? QStringList() : rooms.split(NameBreak),
                              {}};
        }
        if (query.value(5).isNull())
            continue;
        const QString kind = query.value(6).toString();
        reports.last().outcomes << Outcome{query.value(5).toString(), kind.mid(kindOf({}).size()),
                                           query.value(7).isNull()
                                               ? std::nullopt
                                               : std::optional<qint64>(query.value(7).toLongLong()),
                                           query.value(8).toString()};
    }
    return reports;
}

} // namespace Announcements
