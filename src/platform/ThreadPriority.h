#pragma once

#include <QString>

// The threads that must act on the second (the one that plays and the sound
// server connection's) ask to run ahead of ordinary work, as sound servers
// do, so that a busy machine does not make them queue.
namespace ThreadPriority {

// Raises the calling thread; empty when granted, otherwise why not, and the
// thread goes on at normal priority.
QString raiseCurrent();
// Back to normal priority, which needs no one's leave.
void lowerCurrent();

} // namespace ThreadPriority
