#include "PrivateSoundServer.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdlib>

PrivateSoundServer::PrivateSoundServer(const QString &folder, const QStringList &sinks)
    : m_folder(folder), m_sinks(sinks), m_previousServer(qgetenv("PULSE_SERVER"))
{
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(folder) + "/native");
}

PrivateSoundServer::~PrivateSoundServer()
{
    kill();
    if (m_previousServer.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", m_previousServer);
}

bool PrivateSoundServer::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PULSE_RUNTIME_PATH", m_folder);
    environment.insert("PULSE_STATE_PATH", m_folder);
    m_server.setProcessEnvironment(environment);
    QStringList arguments{"-n",
                          "--daemonize=no",
                          "--exit-idle-time=-1",
                          "--disallow-exit",
                          "--use-pid-file=no",
                          "--load=module-native-protocol-unix auth-anonymous=1 socket=" + m_folder +
                              "/native"};
    for (const QString &sink : m_sinks)
        arguments << "--load=module-null-sink sink_name=" + sink;
    m_server.start("pulseaudio", arguments);
    if (!QTest::qWaitFor([] { return !pactl({"info"}).isEmpty(); }, 10000))
        return false;
    for (const QString &sink : m_sinks) {
        auto &recorder = m_recorders[sink];
        recorder = std::make_unique<QProcess>();
        recorder->start("parec", {"--device=" + sink + ".monitor", "--raw", "--format=s16le",
                                  "--channels=1", "--latency-msec=5"});
    }
    // An idle null sink renders far ahead until a low-latency recorder is
    // attached: a sound played before would be gone unrecorded.
    return std::all_of(m_sinks.cbegin(), m_sinks.cend(), [](const QString &sink) {
        return QTest::qWaitFor(
            [&] {
                const qint64 latency = sinkLatencyUs(sink);
                return latency >= 0 && latency < 20000;
            },
            10000);
    });
}

void PrivateSoundServer::kill()
{
    m_server.kill();
    m_server.waitForFinished();
    for (auto &[sink, recorder] : m_recorders) {
        recorder->waitForFinished();
        recorder->readAllStandardOutput();
    }
}

bool PrivateSoundServer::heardSound()
{
    return loudSamples(take(m_sinks.value(0))) > 0;
}

QByteArray PrivateSoundServer::take(const QString &sink)
{
    const auto recorder = m_recorders.find(sink);
    return recorder == m_recorders.end() ? QByteArray() : recorder->second->readAllStandardOutput();
}

QProcessEnvironment PrivateSoundServer::environmentFor(const QString &sink)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PULSE_SINK", sink);
    return environment;
}

void PrivateSoundServer::stop()
{
    ::kill(pid_t(m_server.processId()), SIGSTOP);
}

void PrivateSoundServer::resume()
{
    ::kill(pid_t(m_server.processId()), SIGCONT);
}

QString PrivateSoundServer::pactl(const QStringList &arguments)
{
    QProcess pactl;
    pactl.start("pactl", arguments);
    pactl.waitForFinished();
    return pactl.exitCode() == 0 ? QString::fromUtf8(pactl.readAllStandardOutput()) : QString();
}

qint64 PrivateSoundServer::sinkLatencyUs(const QString &sink)
{
    const QRegularExpression latency("Name: " + sink + "\\n(?:.*\\n)*?\\s*Latency: (\\d+) usec");
    const auto match = latency.match(pactl({"list", "sinks"}));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

int PrivateSoundServer::loudSamples(const QByteArray &pcm)
{
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    return int(std::count_if(samples, samples + pcm.size() / 2,
                             [](qint16 sample) { return std::abs(sample) > 1000; }));
}
