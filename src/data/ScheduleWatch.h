#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <optional>

class QTimer;
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
    // Notices this close together are passed on as one: a script of many
    // small transactions makes each room read once, not once each.
    static constexpr int GatherMs = 50;
    // Any login may notify the channel with any payload: however many
    // notices come, they are passed on no more often than this.
    static constexpr int SpacingMs = 250;

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
    QTimer *m_gather;
    // The writer passed on for the notices gathered so far.
    std::optional<qint64> m_writer;
    // This program's connections besides the link.
    QSet<qint64> m_own;
    // Since the last changed().
    QElapsedTimer m_passed;
};
