#pragma once

#include "platform/Clock.h"

// A clock that stands still until told to move.
class FakeClock final : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 6, 7), QTime(7, 50)))
        : m_now(std::move(start))
    {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &value) { m_now = value; }
    void setTime(const QTime &time) { m_now.setTime(time); }
    void advance(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};
