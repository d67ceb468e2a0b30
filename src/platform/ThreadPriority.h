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
// Behind every other thread of the program, the playing one above all,
// whenever they want the same core: for work in the background.
void backgroundCurrent();

// Where the system grants it (to an administrator, or a user allowed
// realtime priorities), the calling thread goes ahead of every ordinary
// thread on the machine, compilers included, for as long as it keeps it:
// for the short moments when it must act on time. Without the right it stays
// as it is. Off again, it is back to where it was raised to. The threads
// that follow it (below) go and come back with it.
//
// Neither a raised nor a realtime thread hands its priority on to a thread
// it starts (a pooled worker started at such a moment would keep it for
// good): those start at normal priority.
void realtimeCurrent(bool on);

// The calling thread serves the one that goes realtime (the sound server
// connection's thread sends the start of the sound): it is realtime exactly
// when that one is. Returns what unfollow() takes, before the thread ends.
long followRealtime();
void unfollowRealtime(long thread);

} // namespace ThreadPriority
