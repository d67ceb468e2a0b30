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
    m_sinceBase.start();
}

std::optional<ClockWatch::Step> ClockWatch::check()
{
    const QDateTime base = m_base;
    const qint64 elapsed = m_sinceBase.isValid() ? m_sinceBase.elapsed() : 0;
    restart();
    if (!base.isValid())
        return std::nullopt;
    const QDateTime expected = base.addMSecs(elapsed);
    if (std::llabs(expected.msecsTo(m_base)) <= StepThresholdMs)
        return std::nullopt;
    return Step{expected, m_base};
}
