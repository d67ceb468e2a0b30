#include "PulseSinks.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cstdlib>

PulseSinks::PulseSinks(QString folder, QStringList sinks)
    : m_folder(std::move(folder)), m_sinks(std::move(sinks))
{}

PulseSinks::~PulseSinks()
{
    for (auto &[sink, recorder] : m_recorders) {
        recorder->kill();
        recorder->waitForFinished();
    }
    m_server.kill();
    m_server.waitForFinished();
}

QString PulseSinks::server() const
{
    return QStringLiteral("unix:") + m_folder + QStringLiteral("/native");
}

QProcessEnvironment PulseSinks::environmentFor(const QString &sink) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), server());
    environment.insert(QStringLiteral("PULSE_SINK"), sink);
    return environment;
}

QString PulseSinks::pactl(const QStringList &arguments) const
{
    QProcess pactl;
    pactl.setProcessEnvironment(environmentFor({}));
    pactl.start(QStringLiteral("pactl"), arguments);
    pactl.waitForFinished();
    return pactl.exitCode() == 0 ? QString::fromUtf8(pactl.readAllStandardOutput()) : QString();
}

qint64 PulseSinks::latencyUs(const QString &sink) const
{
    const QRegularExpression latency(QStringLiteral("Name: ") + sink +
                                     QStringLiteral("\\n(?:.*\\n)*?\\s*Latency: (\\d+) usec"));
    const auto match = latency.match(pactl({QStringLiteral("list"), QStringLiteral("sinks")}));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

bool PulseSinks::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_folder);
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), m_folder);
    m_server.setProcessEnvironment(environment);
    QStringList arguments{QStringLiteral("-n"),
                          QStringLiteral("--daemonize=no"),
                          QStringLiteral("--exit-idle-time=-1"),
                          QStringLiteral("--disallow-exit"),
                          QStringLiteral("--use-pid-file=no"),
                          QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 "
                                         "socket=") +
                              m_folder + QStringLiteral("/native")};
    for (const QString &sink : m_sinks)
        arguments << QStringLiteral("--load=module-null-sink sink_name=") + sink;
    m_server.start(QStringLiteral("pulseaudio"), arguments);
    if (!QTest::qWaitFor([this] { return !pactl({QStringLiteral("info")}).isEmpty(); }, 10000))
        return false;
    for (const QString &sink : m_sinks) {
        auto recorder = std::make_unique<QProcess>();
        recorder->setProcessEnvironment(environmentFor({}));
        recorder->start(QStringLiteral("parec"),
                        {QStringLiteral("--device=") + sink + QStringLiteral(".monitor"),
                         QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                         QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=5")});
        m_recorders[sink] = std::move(recorder);
    }
    // An idle null sink renders far ahead until a low-latency recorder is
    // attached: a sound played before would be gone unrecorded.
    return std::all_of(m_sinks.cbegin(), m_sinks.cend(), [this](const QString &sink) {
        return QTest::qWaitFor(
            [&] {
                const qint64 latency = latencyUs(sink);
                return latency >= 0 && latency < 20000;
            },
            10000);
    });
}

QByteArray PulseSinks::take(const QString &sink)
{
    return m_recorders.at(sink)->readAllStandardOutput();
}

int PulseSinks::loudSamples(const QByteArray &pcm)
{
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    return int(std::count_if(samples, samples + pcm.size() / 2,
                             [](qint16 sample) { return std::abs(sample) > 1000; }));
}
