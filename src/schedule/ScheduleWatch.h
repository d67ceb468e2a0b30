#pragma once

#include <QObject>
#include <QSet>

class ServerLink;

// Tells the windows that the schedule on a centre's server changed: within
// a moment of any committed change, once after each (re)connection, and
// every few minutes for safety. It listens on the room's one link, so the
// listening costs no connection of its own and never waits on the windows'
// thread.
class ScheduleWatch final : public QObject
{
    Q_OBJECT

public:
    explicit ScheduleWatch(ServerLink &link, QObject *parent = nullptr);
    ~ScheduleWatch() override;
    Q_DISABLE_COPY_MOVE(ScheduleWatch)

    // How often the link is asked whether its connection still stands, and
    // to open a new one when it does not.
    static constexpr int CheckMs = 5000;
    // A re-read now and then in case a notice was lost on its way.
    static constexpr int SafetyMs = 5 * 60 * 1000;

    // A change made through another connection of this program (its
    // uploads) is this program's own too, not news from elsewhere.
    void ownWrites(qint64 serverProcess);
    bool isOwn(qint64 writer) const;

signals:
    // writer: the server process that made a change gathered, another
    // program's rather than this one's where both wrote; 0 when not known
    // (after a reconnection, or the safety re-read).
    void changed(qint64 writer);

private:
    ServerLink &m_link;
    // This program's connections besides the link.
    QSet<qint64> m_own;
};
