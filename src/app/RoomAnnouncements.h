#pragma once

#include "office/AnnouncementWatch.h"
#include "run/Announcer.h"

#include <QObject>
#include <QSet>
#include <chrono>
#include <memory>

class MediaPlayer;
class RunLog;
class ServerLink;
class Shell;
class Timer;

// The exam office's announcements in this room for as long as the program
// runs, whichever window is open: kept current by an AnnouncementWatch on
// the room's one link, their recordings fetched into the cache, played by
// an Announcer on a device of their own.
// What became of each goes into the day's run log and to the office; a
// running exam's window shows the text and silences its instruction.
class RoomAnnouncements final : public QObject
{
    Q_OBJECT

public:
    struct Room
    {
        QString name;
        QString dataFolder;
    };

    RoomAnnouncements(Shell &shell, ServerLink &link, Room room, QObject *parent = nullptr);
    ~RoomAnnouncements() override;
    Q_DISABLE_COPY_MOVE(RoomAnnouncements)

    // An instruction's second came: an announcement still sounding stops.
    std::optional<Announcer::Announcement> silence() { return m_announcer.silence(); }

private:
    void plan(const QList<Announcements::Due> &due);
    void started(const Announcer::Announcement &announcement, qint64 lengthMs);
    void failed(const Announcer::Announcement &announcement, const QString &reason);
    // Those played, failed or missed are never handled again, also by a
    // later start of the program this day: read from the day's run log.
    QSet<qint64> readHandled() const;
    RunLog &log();

    Shell &m_shell;
    const Room m_room;
    std::unique_ptr<MediaPlayer> m_device;
    Timer *m_timer;
    Announcer m_announcer;
    // The day's log; made anew when the day changes.
    std::unique_ptr<RunLog> m_log;
    const QSet<qint64> m_handledBefore;
    // Last: its first read may answer at once.
    AnnouncementWatch m_watch;
};
