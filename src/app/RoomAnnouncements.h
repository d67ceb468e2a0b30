#pragma once

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
// runs, whichever window is open: read from the server on the room's one
// link when the office's notice comes (and after a reconnection), their
// recordings fetched into the cache, played by an Announcer of their own.
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

    static constexpr std::chrono::milliseconds ReadDeadline{1500};
    // A re-read now and then in case a notice was lost on its way.
    static constexpr int SafetyMs = 5 * 60 * 1000;

    // An instruction's second came: an announcement still sounding stops.
    std::optional<Announcer::Announcement> silence() { return m_announcer.silence(); }

private:
    void read();
    void plan(const QList<Announcer::Announcement> &announcements);
    void started(const Announcer::Announcement &announcement, qint64 lengthMs);
    // Those handled are never handled again, also by a later start of the
    // program this day: kept in a file beside the run log.
    void handled(qint64 id);
    QSet<qint64> readHandled() const;
    RunLog &log();

    Shell &m_shell;
    ServerLink &m_link;
    const Room m_room;
    std::unique_ptr<MediaPlayer> m_device;
    Timer *m_timer;
    Announcer m_announcer;
    // The day's log; made anew when the day changes.
    std::unique_ptr<RunLog> m_log;
    bool m_reading = false;
    bool m_readAgain = false;
    bool m_tableMissingSaid = false;
};
