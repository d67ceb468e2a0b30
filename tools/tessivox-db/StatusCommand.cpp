#include "StatusCommand.h"

#include "Arguments.h"
#include "CommandInput.h"
#include "TextTable.h"

#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "office/Announcements.h"
#include "office/OfficeSchema.h"
#include "office/PlainText.h"
#include "office/RoomStatus.h"
#include "office/ServerCapacity.h"
#include "platform/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QThread>
#include <algorithm>

namespace {

QString problemText(const RoomStatus &room)
{
    return room.problemText({QStringLiteral("not seen"), QStringLiteral("some events refused: %1"),
                             QStringLiteral("clock off"), QStringLiteral("%1 missed"),
                             QStringLiteral("%1 failed"), QStringLiteral(", "),
                             QStringLiteral("声音文件未就绪 %1/%2"),
                             QStringLiteral("another PC reports as this room: %1")});
}

// With the subject beside the counts it belongs to, also when idle.
QString state(const RoomStatus &room)
{
    if (room.problems & RoomStatus::Unseen)
        return room.unseenMs ? QStringLiteral("not seen for %1 min").arg(*room.unseenMs / 60000)
                             : QStringLiteral("never seen");
    if (room.running)
        return room.subject.isEmpty() ? QStringLiteral("running")
                                      : QStringLiteral("running ") + room.subject;
    return room.runSubject.isEmpty() ? QStringLiteral("idle")
                                     : QStringLiteral("idle, last ") + room.runSubject;
}

// With its offset from UTC: whoever reads the JSON may be elsewhere.
QJsonValue isoTime(const QDateTime &time)
{
    return time.isValid()
               ? QJsonValue(time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate))
               : QJsonValue();
}

// A room's login reads neither table; the office's rights do. A centre's
// database from before the office's later columns needs upgrading first.
void checkReadable(const QSqlDatabase &db, const QString &shown)
{
    OfficeSchema::requireTables(db);
    QSqlQuery query =
        Query::run(db, {QStringLiteral("SELECT has_table_privilege('room', 'SELECT') AND "
                                       "has_table_privilege('room_event', 'SELECT'), current_user"),
                        {}});
    if (query.next() && !query.value(0).toBool())
        throw std::runtime_error(
            QStringLiteral("%1: the login %2 cannot see the office's tables room and room_event "
                           "(a room's login; the office's is a member of tessivox_admin)")
                .arg(shown, query.value(1).toString())
                .toStdString());
}

QString signedMs(const std::optional<qint64> &ms)
{
    return ms ? QStringLiteral("%1%2 ms").arg(*ms < 0 ? "" : "+").arg(*ms) : QStringLiteral("-");
}

QString lastSeen(const RoomStatus &room, const QDateTime &now)
{
    if (!room.lastSeen.isValid())
        return QStringLiteral("-");
    return room.lastSeen.toString(room.lastSeen.date() == now.date()
                                      ? QStringLiteral("HH:mm:ss")
                                      : QStringLiteral("yyyy-MM-dd HH:mm"));
}

void print(QTextStream &out, const QList<RoomStatus> &rooms, const QString &server,
           const QDateTime &now, const ServerCapacity::Slots &capacity)
{
    const auto unwell = std::count_if(rooms.cbegin(), rooms.cend(),
                                      [](const RoomStatus &r) { return !r.isWell(); });
    out << "Rooms on " << server << " at " << now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        << ": " << rooms.size() << (rooms.size() == 1 ? " room, " : " rooms, ") << unwell
        << " not well\n"
        << ServerCapacity::describe(capacity) << "\n\n";
    TextTable table({QStringLiteral("room"), QStringLiteral("state"), QStringLiteral("last seen"),
                     QStringLiteral("clock"), QStringLiteral("played"), QStringLiteral("missed"),
                     QStringLiteral("failed"), QStringLiteral("worst delay"),
                     QStringLiteral("next"), QStringLiteral("problem")});
    for (const RoomStatus &room : rooms)
        table.addRow({PlainText::visible(room.name), PlainText::visible(state(room)),
                      lastSeen(room, now), signedMs(room.clockOffsetMs),
                      QString::number(room.played), QString::number(room.missed),
                      QString::number(room.failed), signedMs(room.worstDelayMs),
                      room.nextDue.isValid() ? room.nextDue.toString(QStringLiteral("HH:mm:ss"))
                                             : QStringLiteral("-"),
                      PlainText::visible(problemText(room))});
    table.print(out, QString());
}

// Below the rooms, only when the office said something today.
void print(QTextStream &out, const QList<Announcements::Report> &announcements)
{
    if (announcements.isEmpty())
        return;
    out << "\nAnnouncements today, the latest first:\n";
    TextTable table;
    for (const Announcements::Report &report : announcements)
        table.addRow({QStringLiteral("#%1").arg(report.id),
                      report.second.toString(QStringLiteral("HH:mm:ss")),
                      report.rooms.isEmpty()
                          ? QStringLiteral("all rooms")
                          : PlainText::visible(report.rooms.join(QStringLiteral(", "))),
                      PlainText::visible(report.text), report.summary()});
    table.print(out, QStringLiteral("  "));
}

QJsonValue orNull(const std::optional<qint64> &value)
{
    return value ? QJsonValue(double(*value)) : QJsonValue();
}

QJsonArray json(const QList<Announcements::Report> &announcements)
{
    QJsonArray list;
    for (const Announcements::Report &report : announcements) {
        QJsonArray outcomes;
        for (const Announcements::Outcome &outcome : report.outcomes)
            outcomes.append(
                QJsonObject{{QStringLiteral("room"), outcome.room},
                            {QStringLiteral("outcome"),
                             outcome.what.isEmpty() ? QJsonValue() : QJsonValue(outcome.what)},
                            {QStringLiteral("delayMs"), orNull(outcome.delayMs)},
                            {QStringLiteral("reason"), outcome.failure()}});
        list.append(QJsonObject{
            {QStringLiteral("id"), double(report.id)},
            {QStringLiteral("second"), report.second.toString(QStringLiteral("HH:mm:ss"))},
            {QStringLiteral("rooms"), report.rooms.isEmpty()
                                          ? QJsonValue()
                                          : QJsonValue(QJsonArray::fromStringList(report.rooms))},
            {QStringLiteral("text"), report.text},
            {QStringLiteral("file"), report.file},
            {QStringLiteral("summary"), report.summary()},
            {QStringLiteral("outcomes"), outcomes}});
    }
    return list;
}

QJsonDocument json(const QList<RoomStatus> &rooms,
                   const QList<Announcements::Report> &announcements, const QString &server,
                   const QDateTime &now, const ServerCapacity::Slots &capacity)
{
    QJsonArray list;
    for (const RoomStatus &room : rooms)
        list.append(QJsonObject{
            {QStringLiteral("room"), room.name},
            {QStringLiteral("state"), state(room)},
            {QStringLiteral("running"), room.running},
            {QStringLiteral("subject"), room.running ? QJsonValue(room.subject) : QJsonValue()},
            {QStringLiteral("runSubject"), room.runSubject},
            {QStringLiteral("version"), room.version},
            {QStringLiteral("lastSeen"), isoTime(room.lastSeen)},
            {QStringLiteral("unseenSeconds"),
             room.unseenMs ? QJsonValue(double(*room.unseenMs / 1000)) : QJsonValue()},
            {QStringLiteral("clockOffsetMs"), orNull(room.clockOffsetMs)},
            {QStringLiteral("run"), room.runId},
            {QStringLiteral("played"), room.played},
            {QStringLiteral("missed"), room.missed},
            {QStringLiteral("failed"), room.failed},
            {QStringLiteral("worstDelayMs"), orNull(room.worstDelayMs)},
            {QStringLiteral("soundFilesHeld"),
             room.soundFilesHeld ? QJsonValue(*room.soundFilesHeld) : QJsonValue()},
            {QStringLiteral("soundFilesNamed"),
             room.soundFilesNamed ? QJsonValue(*room.soundFilesNamed) : QJsonValue()},
            {QStringLiteral("nextDue"),
             room.nextDue.isValid() ? QJsonValue(room.nextDue.toString(QStringLiteral("HH:mm:ss")))
                                    : QJsonValue()},
            {QStringLiteral("otherPc"),
             room.clash.isEmpty() ? QJsonValue() : QJsonValue(room.clash)},
            {QStringLiteral("well"), room.isWell()},
            {QStringLiteral("problem"), problemText(room)}});
    return QJsonDocument(QJsonObject{{QStringLiteral("server"), server},
                                     {QStringLiteral("at"), isoTime(now)},
                                     {QStringLiteral("connectionSlots"),
                                      QJsonObject{{QStringLiteral("allowed"), capacity.allowed},
                                                  {QStringLiteral("left"), capacity.left}}},
                                     {QStringLiteral("rooms"), list},
                                     {QStringLiteral("announcements"), json(announcements)}});
}

} // namespace

int StatusCommand::run(const Arguments &arguments)
{
    const QString uri = arguments.positional().at(0);
    if (!ServerAddress::isServer(uri))
        return CommandInput::refuse(
            m_err, QStringLiteral("%1: status needs a server (postgresql://...)").arg(uri));
    int watch = 0;
    if (arguments.has(QStringLiteral("watch"))) {
        bool ok = false;
        watch = arguments.value(QStringLiteral("watch")).toInt(&ok);
        if (!ok || watch <= 0)
            return CommandInput::refuse(m_err, QStringLiteral("--watch takes a number of seconds"));
    }
    const int clockLimitMs = Settings::read().clockLimitMs;
    const QString shown = ServerAddress::shown(uri);
    try {
        ServerLink server(uri, true);
        for (;;) {
            const QDateTime now = QDateTime::currentDateTime();
            QList<RoomStatus> rooms;
            QList<Announcements::Report> announcements;
            QString unreadable;
            ServerCapacity::Slots capacity;
            try {
                server.run(
                    [&](Session &session) {
                        checkReadable(session.db(), shown);
                        rooms = RoomStatus::readAll(session.db(), clockLimitMs, now);
                        announcements = Announcements::today(session.db());
                        capacity = ServerCapacity::connectionSlots(session.db());
                    },
                    CommandInput::ServerDeadline);
            } catch (const std::exception &error) {
                if (watch == 0)
                    throw;
                // Watching goes on through a server that is away for a while.
                unreadable = QString::fromStdString(error.what());
            }
            if (const QString tooFew = ServerCapacity::warning(capacity, int(rooms.size()));
                unreadable.isEmpty() && !tooFew.isEmpty())
                m_err << "tessivox-db: warning: " << tooFew << "\n";
            const bool asJson = arguments.has(QStringLiteral("json"));
            // Home, then clear: the table redrawn in place. JSON stays JSON.
            if (watch > 0 && !asJson)
                m_out << "\x1b[H\x1b[2J";
            if (!unreadable.isEmpty())
                m_out << now.toString(QStringLiteral("HH:mm:ss")) << "  " << unreadable << "\n";
            else if (asJson)
                m_out << json(rooms, announcements, shown, now, capacity).toJson();
            else {
                print(m_out, rooms, shown, now, capacity);
                print(m_out, announcements);
            }
            m_out.flush();
            if (watch == 0)
                return std::all_of(rooms.cbegin(), rooms.cend(),
                                   [](const RoomStatus &r) { return r.isWell(); })
                           ? 0
                           : 1;
            QThread::sleep(watch);
        }
    } catch (const std::exception &error) {
        return CommandInput::refuse(m_err, QString::fromStdString(error.what()));
    }
}
