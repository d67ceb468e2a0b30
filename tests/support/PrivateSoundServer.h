#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>

// Real playback is skipped without a sound server, unless the test script,
// which starts one, says it must run.
#define REQUIRE_AUDIO(condition, why)                                                              \
    if (!(condition)) {                                                                            \
        if (qgetenv("TESSIVOX_REQUIRE_AUDIO") == "1")                                              \
            QFAIL(why);                                                                            \
        QSKIP(why);                                                                                \
    }

// A sound server of the test's own with null sinks (one, "privatesink",
// unless named), killed and started again at will; the shared server and its
// sink stay untouched. From construction on, whatever the test process starts
// (the device, pactl, parec, a program) finds this one, and before start() it
// finds none. Several programs, each sent to a sink of its own, are heard
// apart.
class PrivateSoundServer final
{
public:
    explicit PrivateSoundServer(const QString &folder,
                                const QStringList &sinks = {QStringLiteral("privatesink")});
    ~PrivateSoundServer();
    Q_DISABLE_COPY_MOVE(PrivateSoundServer)

    // Until it answers, with a recorder on each sink's monitor.
    bool start();
    void kill();
    // Whether the first sink's recorder heard sound since it was last asked.
    bool heardSound();
    // What a sink's recorder received since it was last asked, 16-bit mono.
    QByteArray take(const QString &sink);
    // The environment of a program that plays into sink.
    static QProcessEnvironment environmentFor(const QString &sink);
    // Stopped, the server still accepts connections and requests and
    // answers none, as a hung one does.
    void stop();
    void resume();

    // What pactl prints, empty when no server answers.
    static QString pactl(const QStringList &arguments);
    // The latency pactl reports for a sink, or -1 when there is no such sink.
    static qint64 sinkLatencyUs(const QString &sink);
    // Samples recorded from a null sink (16-bit), counted as sound when loud.
    static int loudSamples(const QByteArray &pcm);

private:
    QString m_folder;
    QStringList m_sinks;
    QByteArray m_previousServer;
    QProcess m_server;
    std::map<QString, std::unique_ptr<QProcess>> m_recorders;
};
