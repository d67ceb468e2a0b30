#include "StatusCommand.h"

#include "Arguments.h"
#include "CommandInput.h"
#include "TextTable.h"

#include "data/ServerAddress.h"
#include "office/RoomStatus.h"
#include "office/ServerConnection.h"
#include "platform/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <algorithm>

namespace {

QString problemText(const RoomStatus &room)
{
    return room.problemText({QStringLiteral("not seen"), QStringLiteral("clock off"),
                             QStringLiteral("%1 missed"), QStringLiteral("%1 failed"),
                             QStringLiteral(", "), QStringLiteral("声音文件未就绪 %1/%2")});
}

QString state(const RoomStatus &room)
{
    if (room.problems & RoomStatus::Unseen)
        return room.lastSeen.isValid()
                   ? QStringLiteral("not seen for %1 min").arg(room.unseenMs / 60000)
                   : QStringLiteral("never seen");
    return room.running ? QStringLiteral("running ") + room.subject : QStringLiteral("idle");
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
           const QDateTime &now)
{
    const auto unwell = std::count_if(rooms.cbegin(), rooms.cend(),
                                      [](const RoomStatus &r) { return !r.isWell(); });
    out << "Rooms on " << server << " at " << now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        << ": " << rooms.size() << (rooms.size() == 1 ? " room, " : " rooms, ") << unwell
        << " not well\n\n";
    TextTable table({QStringLiteral("room"), QStringLiteral("state"), QStringLiteral("last seen"),
                     QStringLiteral("clock"), QStringLiteral("played"), QStringLiteral("missed"),
                     QStringLiteral("failed"), QStringLiteral("worst delay"),
                     QStringLiteral("next"), QStringLiteral("problem")});
    for (const RoomStatus &room : rooms)
        table.addRow({room.name, state(room), lastSeen(room, now), signedMs(room.clockOffsetMs),
                      QString::number(room.played), QString::number(room.missed),
                      QString::number(room.failed), signedMs(room.worstDelayMs),
                      room.nextDue.isValid() ? room.nextDue.toString(QStringLiteral("HH:mm:ss"))
                                             : QStringLiteral("-"),
                      problemText(room)});
    table.print(out, QString());
}

QJsonValue orNull(const std::optional<qint64> &value)
{
    return value ? QJsonValue(double(*value)) : QJsonValue();
}

QJsonDocument json(const QList<RoomStatus> &rooms, const QString &server, const QDateTime &now)
{
    QJsonArray list;
    for (const RoomStatus &room : rooms)
        list.append(QJsonObject{
            {QStringLiteral("room"), room.name},
            {QStringLiteral("state"), state(room)},
            {QStringLiteral("running"), room.running},
            {QStringLiteral("subject"), room.running ? QJsonValue(room.subject) : QJsonValue()},
            {QStringLiteral("version"), room.version},
            {QStringLiteral("lastSeen"), room.lastSeen.isValid()
                                             ? QJsonValue(room.lastSeen.toString(Qt::ISODate))
                                             : QJsonValue()},
            {QStringLiteral("unseenSeconds"), double(room.unseenMs / 1000)},
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
            {QStringLiteral("well"), room.isWell()},
            {QStringLiteral("problem"), problemText(room)}});
    return QJsonDocument(QJsonObject{{QStringLiteral("server"), server},
                                     {QStringLiteral("at"), now.toString(Qt::ISODate)},
                                     {QStringLiteral("rooms"), list}});
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
        ServerConnection server(uri);
        for (;;) {
            const QDateTime now = QDateTime::currentDateTime();
            QList<RoomStatus> rooms;
            QString unreadable;
            try {
                rooms = RoomStatus::readAll(server.open(), clockLimitMs, now);
            } catch (const std::exception &error) {
                if (watch == 0)
                    throw;
                // Watching goes on through a server that is away for a while.
                unreadable = QString::fromStdString(error.what());
                server.close();
            }
            if (watch > 0)
                m_out << "\x1b[H\x1b[2J"; // home, then clear: the table redrawn in place
            if (!unreadable.isEmpty())
                m_out << now.toString(QStringLiteral("HH:mm:ss")) << "  " << unreadable << "\n";
            else if (arguments.has(QStringLiteral("json")))
                m_out << json(rooms, shown, now).toJson();
            else
                print(m_out, rooms, shown, now);
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
