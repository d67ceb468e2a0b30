#pragma once

#include "office/Announcements.h"

#include <QObject>
#include <chrono>

class Clock;
class ServerLink;

// Keeps a room's list of the office's announcements for today current: read
// on the room's one link at the start, within a moment of the server's
// notice of any change, after a reconnection, and every few minutes for
// safety. Never waits on the caller's thread.
class AnnouncementWatch final : public QObject
{
    Q_OBJECT

public:
    AnnouncementWatch(ServerLink &link, QString room, const Clock &clock,
                      QObject *parent = nullptr);

    static constexpr std::chrono::milliseconds ReadDeadline{1500};
    static constexpr int SafetyMs = 5 * 60 * 1000;

    // Reads now, or once more after the read under way.
    void read();

signals:
    void changed(const QList<Announcements::Due> &due);
    // Once while the server has no announcements (not yet upgraded) or
    // refuses them to this room.
    void unavailable(const QString &reason);

private:
    ServerLink &m_link;
    const QString m_room;
    const Clock &m_clock;
    bool m_reading = false;
    bool m_readAgain = false;
    bool m_unavailableSaid = false;
};
