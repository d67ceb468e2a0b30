#include "platform/PreciseWait.h"

#include <chrono>
#include <thread>

// The kernel's timers resolve well below a millisecond, also the event
// loop's: nothing needs sleeping, nor raising.
qint64 PreciseWait::sleptBelowMs()
{
    return 1;
}

void PreciseWait::sleepMs(qint64 ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void PreciseWait::fineResolution(bool) {}
