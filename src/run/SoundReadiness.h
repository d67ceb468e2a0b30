#pragma once

#include <QtGlobal>

// The bounds both sound devices keep while a sound got ready ahead is taken
// and started at its second on the user-interface thread.
namespace SoundReadiness {

// How long open() and play() wait for a sound prepared ahead that is not
// ready yet (its preparation is late): the system readies a stream within
// milliseconds, and the user-interface thread that calls them must not hang
// on an output that does not answer.
constexpr int WaitAtStartMs = 200;

// A sound got ready longer ago than this is got ready again: well beyond
// the scheduler's lead, so that the checks near the second keep it, yet
// short enough that a clock set back cannot play one got ready long before.
constexpr qint64 FreshForMs = 10000;

// An output (or the sound server behind it) gone in the last moments before
// a second: the new one takes a stream within milliseconds; one that does
// not within this costs the instruction rather than the windows' thread.
constexpr int WaitForNewOutputMs = 500;

} // namespace SoundReadiness
