#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <optional>
#include <sys/stat.h>

struct pa_operation;
struct pa_stream;
class PulseConnection;
class SoundFile;

// One sound made ready on the sound server ahead of its start: its file
// open, its stream created on the server corked and filled, so that starting
// it is one short request. prepare() does the work on a worker thread; the
// device takes, starts or gives up the sound on its own thread meanwhile.
//
// Apart from prepare(), every member is called with the connection's lock
// held; the stream's callbacks run with it held too.
class PulseSound final
{
public:
    PulseSound(PulseConnection &connection, QString path);
    // After release().
    ~PulseSound();
    Q_DISABLE_COPY_MOVE(PulseSound)

    const QString &path() const { return m_path; }

    // Without the lock: opens the file.
    void readFile();
    // Whether what was read, or is being read, is still what the file holds
    // (the same file, size and modification time) and was read, or got
    // ready, at most withinMs ago: a sound got ready long before, or from a
    // file replaced since, is not the one to play.
    bool freshFor(qint64 withinMs) const;
    // Whether prepare() was handed to a worker; a sound only opened has no
    // stream on the server yet.
    bool handedOver() const { return m_handedOver; }
    void handOver()
    {
        m_handedOver = true;
        m_since.start();
    }
    // On a worker thread, without the lock: reads the file unless that was
    // done, then connects (anew if the server went away) and makes the
    // stream; gives up as soon as the sound is released.
    void prepare();

    // The file is open, or could not be: fileFailure() says why.
    bool fileSettled() const { return m_fileSettled; }
    const QString &fileFailure() const { return m_fileFailure; }
    qint64 lengthMs() const;

    // Ready to start, or it cannot play: failure() says why.
    bool settled() const;
    bool ready() const;
    // Why it cannot start, or why it broke off once it started; empty while
    // it prepares, waits, plays or once it played out.
    const QString &failure() const { return m_failure; }
    // Recorded as its failure when it was not ready in time.
    void giveUp(const QString &reason);

    // Starts a ready sound; waits a moment at most for the server to take it
    // and to say when its first sample is heard.
    void start();
    bool started() const { return m_started; }
    // As MediaPlayer::startHeardUs(), for the last start(): the moment
    // start() returned when the server did not say.
    qint64 startHeardUs() const { return m_startHeardUs; }
    // Silences it and lets go of its stream; a preparation still underway
    // stops. The file stays open for its length.
    void release();

private:
    QString makeStream();
    // On the system clock, from the stream's timing taken after its uncork.
    std::optional<qint64> startHeardAtUs() const;
    void feed(size_t bytes);
    void streamChanged();

    PulseConnection &m_connection;
    const QString m_path;
    // Since it was read, or since it was handed over.
    QElapsedTimer m_since;
    // The file's identity as it was opened.
    struct stat m_identity
    {};
    bool m_handedOver = false;
    std::unique_ptr<SoundFile> m_file;
    bool m_fileSettled = false;
    QString m_fileFailure;
    // Read by prepare() between its steps without the lock.
    std::atomic<bool> m_released = false;
    bool m_prepared = false;
    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    bool m_started = false;
    qint64 m_startHeardUs = 0;
    bool m_played = false;
    QString m_failure;
};
