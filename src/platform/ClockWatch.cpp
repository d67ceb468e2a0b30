#include "platform/ClockWatch.h"

#include "platform/Clock.h"

#include <cstdlib>

namespace {

// Far above the drift a time service corrects by slewing (half a millisecond
// a second) and the moment between the two readings, far below any setting
// of the clock that moves an instruction.
constexpr qint64 StepThresholdMs = 100;

} // namespace

void ClockWatch::restart()
{
    m_base = m_clock.now();
    m_baseMs = m_base.toMSecsSinceEpoch();
    m_baseOffset = m_base.offsetFromUtc();
    m_sinceBase.start();
}

std::optional<ClockWatch::Step> ClockWatch::check()
{
    QDateTime then = m_base;
    const qint64 baseMs = m_baseMs;
    const int baseOffset = m_baseOffset;
    const qint64 elapsed = m_sinceBase.isValid() ? m_sinceBase.elapsed() : 0;
    restart();
    if (!then.isValid())
        return std::nullopt;
    // A reading in the machine's zone is read again by the zone's rules of
    // now: when its moment has another offset by them, the zone itself was
    // changed (its file replaced), which moves every time of day as a step
    // does without moving the moment.
    then.setMSecsSinceEpoch(baseMs);
    const bool rezoned = then.offsetFromUtc() != baseOffset;
    // What the clock would read now, at the offset it read with then.
    const QDateTime expected =
        rezoned ? QDateTime::fromMSecsSinceEpoch(baseMs + elapsed, Qt::OffsetFromUTC, baseOffset)
                : then.addMSecs(elapsed);
    if (!rezoned && std::llabs(expected.msecsTo(m_base)) <= StepThresholdMs)
        return std::nullopt;
    return Step{expected, m_base};
}
