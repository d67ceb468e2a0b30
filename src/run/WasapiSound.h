#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class FrameConverter;
class SoundFile;
struct IAudioClient;
struct IAudioClock;
struct IAudioRenderClient;

// One sound made ready on the system's default output ahead of its start:
// its file open, a shared-mode stream initialised in the output's own format
// and its buffer filled, so that starting it is one call. A thread of its
// own gets it ready and then keeps the buffer filled while it plays; the
// device takes, starts or gives up the sound from its own thread meanwhile.
class WasapiSound final : public std::enable_shared_from_this<WasapiSound>
{
public:
    explicit WasapiSound(QString path);
    ~WasapiSound();
    Q_DISABLE_COPY_MOVE(WasapiSound)

    const QString &path() const { return m_path; }

    // Opens the file on the calling thread, unless done.
    void readFile();
    // The file's identity and the time since it was read or handed over, as
    // PulseSound::freshFor().
    bool freshFor(qint64 withinMs) const;
    bool handedOver() const;
    // Starts the thread that gets it ready; at most once. The thread keeps
    // the sound until it is done with it, so that nobody waits for it.
    void prepare();
    // Waits at most withinMs for a released sound's thread to let go of the
    // output: before the program exits.
    void waitFinished(int withinMs) const;

    // Waits at most withinMs for the file to be open or to have failed;
    // whether it has.
    bool waitFileSettled(int withinMs) const;
    QString fileFailure() const;
    qint64 lengthMs() const;

    // Waits at most withinMs for it to be ready or failed; whether it is.
    bool waitSettled(int withinMs) const;
    bool ready() const;
    // Why it cannot start, or broke off; empty while it prepares, waits,
    // plays or once it played out.
    QString failure() const;
    // Its output went away (removed, disabled, or another chosen as the
    // default): another sound for the same file finds the output now.
    bool outputLost() const;
    void giveUp(const QString &reason);

    // Starts a ready sound and reads from the output's clock when its first
    // sample is heard, waiting a moment at most for the clock to move.
    void start();
    bool started() const;
    // As MediaPlayer::startHeardUs(), for start().
    qint64 startHeardUs() const;
    void release();

private:
    struct Stream;
    void run();
    QString makeStream();
    // Fills what the output's buffer has room for; false at the end of the
    // file once everything was handed over.
    bool fill();
    void feed(std::unique_lock<std::mutex> &lock);
    void fail(const QString &reason, long result);

    const QString m_path;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    QElapsedTimer m_since;
    qint64 m_size = -1;
    QDateTime m_modified;
    std::unique_ptr<SoundFile> m_file;
    bool m_fileSettled = false;
    QString m_fileFailure;
    std::unique_ptr<FrameConverter> m_converter;
    // Converted frames not yet handed to the output.
    std::vector<float> m_pending;
    size_t m_pendingAt = 0;
    bool m_fileEnded = false;
    std::unique_ptr<Stream> m_stream;
    bool m_handedOver = false;
    bool m_prepared = false;
    bool m_started = false;
    bool m_released = false;
    bool m_outputLost = false;
    bool m_finished = true;
    qint64 m_startHeardUs = 0;
    QString m_failure;
};
