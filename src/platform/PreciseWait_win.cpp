#include "platform/PreciseWait.h"

#include <algorithm>
#include <windows.h>

#include <timeapi.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// A whole tick at the default resolution, and some: a timer of the event
// loop aimed past it could land after the second.
constexpr qint64 SleptBelow = 17;

// Windows 10 1803 on; older systems, and Wine, take the timer without the
// flag, precise then to the timer resolution, which is raised around a second.
HANDLE makeTimer()
{
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    return timer ? timer : CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

} // namespace

qint64 PreciseWait::sleptBelowMs()
{
    return SleptBelow;
}

void PreciseWait::sleepMs(qint64 ms)
{
    thread_local const HANDLE timer = makeTimer();
    // Relative, in 100 ns units.
    LARGE_INTEGER due{};
    due.QuadPart = -ms * 10'000;
    if (ms <= 0 || !timer || !SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        Sleep(DWORD(std::max<qint64>(ms, 0)));
        return;
    }
    WaitForSingleObject(timer, DWORD(ms + SleptBelow));
}

void PreciseWait::fineResolution(bool on)
{
    if (on)
        timeBeginPeriod(1);
    else
        timeEndPeriod(1);
}
