#include "platform/ThreadPriority.h"

#ifdef Q_OS_WIN
#include <windows.h>

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

void ThreadPriority::realtimeCurrent(bool) {}

#else
#include <QDBusConnection>
#include <QDBusMessage>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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

} // namespace

// A thread's nice value is its own on Linux, so only the caller is raised.
QString ThreadPriority::raiseCurrent()
{
    const pid_t thread = currentThread();
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
    const sched_param priority{on ? RealtimePriority : 0};
    // For the calling thread only (0), keeping its nice value when it ends.
    sched_setscheduler(0, on ? SCHED_FIFO : SCHED_OTHER, &priority);
}
#endif
