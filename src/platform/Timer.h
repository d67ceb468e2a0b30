#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

class Clock;

// A periodic user-interface timer whose interval doubles as its state:
// 0 means stopped; setting the interval it already has changes nothing (a
// running timer is not restarted); any other value restarts it.
//
// Always precise: Qt's default coarse timer may fire 5 % early or late.
// For a wait that must end on a wall-clock moment, armAt() makes the first
// tick land on that moment: a long wait would otherwise be late by the
// kernel's timer slack, and a wall clock may be adjusted while it runs.
class Timer final : public QObject
{
    Q_OBJECT

public:
    explicit Timer(int interval = 0, QObject *parent = nullptr);
    ~Timer() override;

    int interval() const { return m_interval; }
    void setInterval(int ms);

    // Sets the interval; the next tick comes as soon as clock.now() >=
    // deadline, the later ones every interval after it. With the interval
    // it already has, this only re-aims the next tick at the deadline.
    void armAt(int ms, const Clock &clock, const QDateTime &deadline);

    // How often the timer was started, restarted or stopped: lets a
    // simulation that calls the handlers itself follow the real timer.
    int starts() const { return m_starts; }

    // For a timer whose deadline must be met on a busy machine: from the last
    // second before an armAt() deadline until its tick has been handled, the
    // thread runs at realtime priority where the system grants it, so that
    // neither waking up nor the handler waits behind other programs.
    void setUrgent(bool urgent) { m_urgent = urgent; }

signals:
    void timeout();

private:
    void start();
    // Wakes ahead of the deadline, or in its last millisecond when it is near.
    void aim(qint64 remaining);
    void wakeUp();
    void tick();
    void realtime(bool on);

    QTimer m_timer;
    int m_interval = 0;
    int m_starts = 0;
    bool m_urgent = false;
    bool m_realtime = false;
    const Clock *m_clock = nullptr;
    QDateTime m_deadline;
};
