#pragma once

#include <QObject>
#include <QString>

class QThread;
class ScheduleListener;

// Tells the windows, on their own thread, that the schedule on a centre's
// server changed: within a moment of any committed change, once after each
// (re)connection, and every few minutes for safety. The listening itself
// (a connection of its own, on a thread of its own) never waits on the
// windows' thread.
class ScheduleWatch final : public QObject
{
    Q_OBJECT

public:
    explicit ScheduleWatch(const QString &uri, QObject *parent = nullptr);
    // Waits at most a second for the listener to let go of its connection.
    ~ScheduleWatch() override;
    Q_DISABLE_COPY_MOVE(ScheduleWatch)

signals:
    // writer: the server process that made the change, 0 when not known.
    void changed(qint64 writer);

private:
    QThread *m_thread;
    ScheduleListener *m_listener;
};
