#include "onset_quiet.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QByteArray readProc(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 field(const QByteArray &status, const QByteArray &name)
{
    const qsizetype at = status.indexOf(name);
    if (at < 0)
        return 0;
    const qsizetype end = status.indexOf('\n', at + name.size());
    return status.mid(at + name.size(), end - at - name.size()).trimmed().toLongLong();
}

} // namespace

QuietMeter::QuietMeter(std::vector<Stretch> stretches, QString what)
    : m_stretches(std::move(stretches)), m_what(std::move(what)), m_thread([this] { measure(); })
{}

QuietMeter::~QuietMeter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool QuietMeter::waitUntil(qint64 micros)
{
    std::unique_lock lock(m_mutex);
    const auto moment = std::chrono::system_clock::time_point(std::chrono::microseconds(micros));
    return !m_wake.wait_until(lock, moment, [this] { return m_stop; });
}

QuietMeter::Sample QuietMeter::sample() const
{
    Sample threads;
    const QString tasks = QStringLiteral("/proc/self/task");
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (tid.toInt() == m_ownThread)
            continue;
        const QString base = tasks + '/' + tid + '/';
        const QByteArray status = readProc(base + QStringLiteral("status"));
        Thread thread;
        thread.name = tid.toInt() == getpid()
                          ? QStringLiteral("main")
                          : QString::fromUtf8(readProc(base + QStringLiteral("comm")).trimmed());
        thread.wakeUps = field(status, "\nvoluntary_ctxt_switches:");
        thread.preempted = field(status, "nonvoluntary_ctxt_switches:");
        thread.cpuNs =
            readProc(base + QStringLiteral("schedstat")).split(' ').value(0).toLongLong();
        threads[tid.toInt()] = thread;
    }
    return threads;
}

void QuietMeter::measure()
{
    m_ownThread = int(syscall(SYS_gettid));
    for (const Stretch &stretch : m_stretches) {
        if (!waitUntil(stretch.from))
            return;
        const Sample before = sample();
        if (!waitUntil(stretch.to))
            return;
        const Sample after = sample();
        for (const auto &[tid, thread] : after) {
            const auto old = before.find(tid);
            Thread &total = m_totals[thread.name];
            total.name = thread.name;
            total.wakeUps += thread.wakeUps - (old == before.end() ? 0 : old->second.wakeUps);
            total.preempted += thread.preempted - (old == before.end() ? 0 : old->second.preempted);
            total.cpuNs += thread.cpuNs - (old == before.end() ? 0 : old->second.cpuNs);
        }
        m_measuredUs += stretch.to - stretch.from;
    }
}

void QuietMeter::print()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_measuredUs == 0)
        return;
    const double seconds = double(m_measuredUs) / 1e6;
    qint64 wakeUps = 0;
    qint64 preempted = 0;
    qint64 cpuNs = 0;
    QString byThread;
    for (const auto &[name, thread] : m_totals) {
        wakeUps += thread.wakeUps;
        preempted += thread.preempted;
        cpuNs += thread.cpuNs;
        if (thread.wakeUps > 0)
            byThread += QStringLiteral(", %1 %2").arg(name).arg(double(thread.wakeUps) / seconds, 0,
                                                                'f', 1);
    }
    std::printf("onset quiet: %.1f wake-ups/s (%s), preempted %.1f/s, CPU %.2f ms/s, over %.1f s "
                "%s\n",
                double(wakeUps) / seconds, qPrintable(byThread.mid(2)), double(preempted) / seconds,
                double(cpuNs) / 1e6 / seconds, seconds, qPrintable(m_what));
}
