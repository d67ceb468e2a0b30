#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <optional>

class Clock;

// Notices when the wall clock is set: between two checks it must move as far
// as a monotonic clock does. Daylight-saving changes are no step: they move
// the reading's offset, not the moment. A change of the machine's zone is
// one, from the time the clock showed in the old zone.
class ClockWatch final
{
public:
    struct Step
    {
        // What the clock would read without the step, and what it reads.
        QDateTime from;
        QDateTime to;
    };

    explicit ClockWatch(const Clock &clock) : m_clock(clock) {}

    // Takes the current reading as the base of the next check.
    void restart();
    // The step since the last check or restart, if any; the first check after
    // construction only takes its base.
    std::optional<Step> check();

private:
    const Clock &m_clock;
    QDateTime m_base;
    // The base's moment and offset as read: a reading in the machine's zone
    // names another moment once that zone is changed.
    qint64 m_baseMs = 0;
    int m_baseOffset = 0;
    QElapsedTimer m_sinceBase;
};
