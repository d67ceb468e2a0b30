#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>

// A clock that stands still until told to move, or, once run, runs on
// from where it stands as the system's does.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 6, 7), QTime(7, 50)))
        : m_now(std::move(start))
    {}
    QDateTime now() const override
    {
        return m_running.isValid() ? m_now.addMSecs(m_running.elapsed()) : m_now;
    }
    void run() { m_running.start(); }
    void set(const QDateTime &value) { m_now = value; }
    void setTime(const QTime &time) { m_now.setTime(time); }
    void advance(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
    QElapsedTimer m_running;
};
