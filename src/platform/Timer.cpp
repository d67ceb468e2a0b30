#include "platform/Timer.h"

#include "platform/Clock.h"
#include "platform/PreciseWait.h"
#include "platform/ThreadPriority.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// How early to wake before a wall-clock deadline: enough to absorb the
// kernel's slack on a long wait (about 0.1 %, capped at 100 ms), yet short
// enough that the final wait is measured against a fresh clock reading.
qint64 leadFor(qint64 remaining)
{
    return std::min<qint64>(remaining, 5 + std::min<qint64>(remaining / 500, 150));
}

// A deadline may lie weeks away once the wall clock has been set back; a
// QTimer takes an int, so a far deadline is reached in wake-ups this long.
constexpr qint64 LongestWait = 3600 * 1000;

// Nearer than this, the kernel's slack is below a millisecond.
constexpr qint64 NearWait = 1000;

// An urgent wait first wakes this far ahead, late as that may be on a busy
// machine, so that its last wake-ups already have the realtime priority.
constexpr qint64 UrgentAhead = NearWait + 50;

int bounded(qint64 wait)
{
    return int(std::clamp<qint64>(wait, 0, LongestWait));
}

} // namespace

Timer::Timer(int interval, QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Timer::wakeUp);
    setInterval(interval);
}

Timer::~Timer()
{
    realtime(false);
}

void Timer::setInterval(int ms)
{
    ms = std::max(ms, 0);
    if (ms == m_interval)
        return;
    m_interval = ms;
    m_deadline = {};
    start();
}

void Timer::armAt(int ms, const Clock &clock, const QDateTime &deadline)
{
    ms = std::max(ms, 0);
    // The same interval on a running timer only re-aims its next tick at
    // the deadline, which lies within milliseconds of it.
    if (ms == m_interval && ms == 0)
        return;
    m_interval = ms;
    m_clock = &clock;
    m_deadline = deadline;
    start();
}

void Timer::start()
{
    ++m_starts;
    m_timer.stop();
    if (m_interval == 0 || !m_deadline.isValid())
        realtime(false);
    if (m_interval == 0)
        return;
    if (!m_deadline.isValid()) {
        m_timer.start(m_interval);
        return;
    }
    aim(m_clock->now().msecsTo(m_deadline));
}

void Timer::aim(qint64 remaining)
{
    if (m_urgent && remaining > UrgentAhead) {
        realtime(false);
        m_timer.start(bounded(remaining - UrgentAhead));
        return;
    }
    realtime(remaining <= UrgentAhead);
    m_timer.start(bounded(remaining > NearWait ? remaining - leadFor(remaining)
                                               : remaining - PreciseWait::sleptBelowMs()));
}

void Timer::wakeUp()
{
    if (m_deadline.isValid()) {
        const qint64 remaining = m_clock->now().msecsTo(m_deadline);
        if (remaining > PreciseWait::sleptBelowMs()) {
            aim(remaining);
            return;
        }
        // A sleep may end a millisecond or two late (as under Wine): the
        // spin below takes the rest.
        if (remaining > 2)
            PreciseWait::sleepMs(remaining - 2);
        // The last millisecond: a timer cannot resolve it, a short spin can.
        // Bounded, in case the clock stands still.
        QElapsedTimer spin;
        spin.start();
        while (m_clock->now() < m_deadline && spin.elapsed() < 3) {
        }
        m_deadline = {};
    }
    tick();
    // A handler may have aimed it at a new deadline, near or far.
    if (!m_deadline.isValid())
        realtime(false);
}

void Timer::realtime(bool on)
{
    on = on && m_urgent;
    if (on == m_realtime)
        return;
    m_realtime = on;
    ThreadPriority::realtimeCurrent(on);
    PreciseWait::fineResolution(on);
}

void Timer::tick()
{
    // Re-armed before the handlers run: one that sets a new interval
    // restarts it again, and one that fails does not stop it.
    if (m_interval != 0)
        m_timer.start(m_interval);
    emit timeout();
}
