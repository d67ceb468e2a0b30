#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <map>
#include <memory>

// A sound server of a test's own in folder, with a null sink for each name
// and a recorder on each sink's monitor, so that several programs, each
// sent to a sink of its own (PULSE_SINK), are heard apart. The ctest-wide
// server and its sink are not touched. Failures leave start() false.
class PulseSinks final
{
public:
    PulseSinks(QString folder, QStringList sinks);
    ~PulseSinks();
    Q_DISABLE_COPY_MOVE(PulseSinks)

    bool start();
    // The server's address, for PULSE_SERVER.
    QString server() const;
    // The environment of a program that plays into sink.
    QProcessEnvironment environmentFor(const QString &sink) const;
    // What the sink's recorder received since the last call, 16-bit mono.
    QByteArray take(const QString &sink);
    // The samples of pcm that are clearly sound, not silence.
    static int loudSamples(const QByteArray &pcm);

private:
    QString pactl(const QStringList &arguments) const;
    qint64 latencyUs(const QString &sink) const;

    QString m_folder;
    QStringList m_sinks;
    QProcess m_server;
    std::map<QString, std::unique_ptr<QProcess>> m_recorders;
};
