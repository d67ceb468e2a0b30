#include "StalledServer.h"

#include "ServerDatabase.h"

#include <QFile>
#include <QProcess>
#include <csignal>

StalledServer::StalledServer(const TestServer &server)
{
    QFile pidFile(server.dataFolder() + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        qFatal("no postmaster.pid in %s", qPrintable(server.dataFolder()));
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    // The postmaster first, so that it starts no backend meanwhile.
    if (postmaster <= 0 || ::kill(pid_t(postmaster), SIGSTOP) != 0)
        qFatal("cannot stop the postmaster %lld", postmaster);
    m_pids << postmaster;
    QProcess children;
    children.start(QStringLiteral("pgrep"), {QStringLiteral("-P"), QString::number(postmaster)});
    children.waitForFinished(10'000);
    for (const QByteArray &line : children.readAllStandardOutput().split('\n')) {
        if (const qint64 pid = line.trimmed().toLongLong();
            pid > 0 && ::kill(pid_t(pid), SIGSTOP) == 0)
            m_pids << pid;
    }
}

StalledServer::~StalledServer()
{
    resume();
}

void StalledServer::resume()
{
    for (const qint64 pid : std::as_const(m_pids))
        ::kill(pid_t(pid), SIGCONT);
    m_pids.clear();
}
