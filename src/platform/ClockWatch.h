#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <optional>

class Clock;

// Notices when the wall clock is set: between two checks it must move as far
// as a monotonic clock does. Daylight-saving changes are no step: they move
// the reading's offset, not the moment.
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
    QElapsedTimer m_sinceBase;
};
