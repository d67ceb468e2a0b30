#include "platform/ThreadPriority.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <avrt.h>

QString ThreadPriority::raiseCurrent()
{
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST))
        return {};
    return QStringLiteral("SetThreadPriority failed (error %1)").arg(GetLastError());
}

void ThreadPriority::lowerCurrent()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

void ThreadPriority::backgroundCurrent()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

namespace {

// Around a second only: the multimedia class scheduler's "Pro Audio" task
// where its service runs, and the highest priority of the process's class
// in any case, which needs no one's leave.
struct Realtime
{
    HANDLE task = nullptr;
    int before = THREAD_PRIORITY_NORMAL;
    bool on = false;
};
thread_local Realtime realtime;

} // namespace

// A new thread starts at normal priority on Windows, whatever its creator's:
// nothing leaks to it.
void ThreadPriority::realtimeCurrent(bool on)
{
    if (on == realtime.on)
        return;
    realtime.on = on;
    if (on) {
        realtime.before = GetThreadPriority(GetCurrentThread());
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        DWORD taskIndex = 0;
        realtime.task = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
        return;
    }
    if (realtime.task)
        AvRevertMmThreadCharacteristics(realtime.task);
    realtime.task = nullptr;
    SetThreadPriority(GetCurrentThread(), realtime.before);
}

// The sound's threads keep a fifth of a second in the output's buffer:
// none of them needs to go ahead at the second.
long ThreadPriority::followRealtime()
{
    return 0;
}

void ThreadPriority::unfollowRealtime(long) {}

#else
#include <QDBusConnection>
#include <QDBusMessage>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

// What sound servers take for themselves: well ahead of ordinary work, and
// within what the desktop's realtime service grants (down to -15).
constexpr int HighNice = -11;
constexpr int NormalNice = 0;
constexpr int BackgroundNice = 10;
// The lowest realtime priority: ahead of all ordinary threads, behind the
// sound server's own (which takes 5), so that it never holds the server up.
constexpr int RealtimePriority = 1;
// The service answers at once; a hung one must not hold up the start of a
// run on the user-interface thread for more than a moment.
constexpr int Timeout = 200;

pid_t currentThread()
{
    return pid_t(syscall(SYS_gettid));
}

// Reset on fork: a thread started meanwhile begins at normal policy and
// nice value instead of inheriting these.
void setRealtime(pid_t thread, bool on)
{
    const sched_param priority{on ? RealtimePriority : 0};
    sched_setscheduler(thread, (on ? SCHED_FIFO : SCHED_OTHER) | SCHED_RESET_ON_FORK, &priority);
}

struct Followers
{
    std::mutex mutex;
    std::vector<pid_t> threads;
    bool realtime = false;
};

Followers &followers()
{
    static Followers followers;
    return followers;
}

} // namespace

// A thread's nice value is its own on Linux, so only the caller is raised.
QString ThreadPriority::raiseCurrent()
{
    const pid_t thread = currentThread();
    setRealtime(0, false);
    if (setpriority(PRIO_PROCESS, id_t(thread), HighNice) == 0)
        return {};
    const QString denied = QString::fromUtf8(std::strerror(errno));
    // Unprivileged, as a desktop user is: the realtime service may grant it.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.RealtimeKit1"),
        QStringLiteral("/org/freedesktop/RealtimeKit1"),
        QStringLiteral("org.freedesktop.RealtimeKit1"), QStringLiteral("MakeThreadHighPriority"));
    call << quint64(thread) << qint32(HighNice);
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, Timeout);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return {};
    return QStringLiteral("%1; the realtime service: %2").arg(denied, reply.errorMessage());
}

void ThreadPriority::lowerCurrent()
{
    setpriority(PRIO_PROCESS, id_t(currentThread()), NormalNice);
}

void ThreadPriority::backgroundCurrent()
{
    setpriority(PRIO_PROCESS, id_t(currentThread()), BackgroundNice);
}

void ThreadPriority::realtimeCurrent(bool on)
{
    // For the calling thread only (0), keeping its nice value when it ends.
    setRealtime(0, on);
    Followers &all = followers();
    std::lock_guard lock(all.mutex);
    all.realtime = on;
    for (const pid_t thread : all.threads)
        setRealtime(thread, on);
}

long ThreadPriority::followRealtime()
{
    const pid_t thread = currentThread();
    Followers &all = followers();
    std::lock_guard lock(all.mutex);
    all.threads.push_back(thread);
    setRealtime(thread, all.realtime);
    return thread;
}

void ThreadPriority::unfollowRealtime(long thread)
{
    Followers &all = followers();
    std::lock_guard lock(all.mutex);
    const auto found = std::find(all.threads.begin(), all.threads.end(), pid_t(thread));
    if (found == all.threads.end())
        return;
    all.threads.erase(found);
    setRealtime(pid_t(thread), false);
}
#endif
