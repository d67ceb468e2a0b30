#pragma once

#include <QtGlobal>

// The last moments before a second, where the event loop's timers are too
// coarse: Windows rounds every timer to its tick (15.6 ms unless raised),
// Linux to a fraction of a millisecond.
namespace PreciseWait {

// Waits shorter than this are slept through on the calling thread rather
// than left to the event loop's timers.
qint64 sleptBelowMs();
// Sleeps the calling thread for ms milliseconds, to a fraction of one.
void sleepMs(qint64 ms);
// The system's timer resolution at its finest, for the moments around a
// second only: kept raised all day it costs the machine power and time.
void fineResolution(bool on);

} // namespace PreciseWait
