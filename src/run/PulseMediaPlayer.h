#pragma once

#include "platform/PulseConnection.h"
#include "run/MediaPlayer.h"
#include "run/SoundSlots.h"

#include <QString>
#include <QThreadPool>
#include <memory>

class PulseSound;

// The sound device of a run on the sound server's own client library: reads
// the file with libsndfile and plays it as one stream of the server's default
// output. The stream is fed from the connection's thread, so the UI thread
// is not needed while a sound plays.
//
// A sound is best prepared ahead of its second (prepare()): a worker thread
// opens the file, makes sure of the server (a server that went away is
// connected to anew) and fills a corked stream, so that open() and play()
// at the second only take that sound and start it. Neither waits for the
// server for long: a sound not ready by then is reported through
// playFailure() rather than waited for. open() alone only reads the file:
// nothing waits on the server for a second that is far off.
class PulseMediaPlayer final : public MediaPlayer
{
public:
    PulseMediaPlayer();
    ~PulseMediaPlayer() override;
    Q_DISABLE_COPY_MOVE(PulseMediaPlayer)

    void setTimeFormatMilliseconds() override {}
    void setFileName(const QString &path) override { m_sounds.fileName = path; }
    QString fileName() const override { return m_sounds.fileName; }
    void prepare() override;
    void forgetPrepared() override;
    bool isOpen() const override { return m_sounds.current != nullptr; }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    QString playFailure() const override;
    qint64 startHeardUs() const override;
    qint64 length() const override;

private:
    // Hands the sound to a worker to prepare, which then keeps it ready.
    std::shared_ptr<PulseSound> begin(std::shared_ptr<PulseSound> sound);
    // On the worker, while the sound waits for its play: a server that goes
    // away meanwhile is looked for again every few tenths of a second, and
    // the sound got ready anew on the first that answers, so that a server
    // restarted just before the second costs it nothing.
    void keepReady(std::shared_ptr<PulseSound> sound);
    // With the lock held: where the sound waits for its play, if it does.
    std::shared_ptr<PulseSound> *waiting(const std::shared_ptr<PulseSound> &sound);
    // With the lock held, at the second: the open sound's server went away
    // since it was got ready; it is got ready at once on a new connection.
    void prepareAgain();

    // Declared first so that it goes last, once no stream is left.
    PulseConnection m_connection;
    QThreadPool m_workers;
    // Behind the connection's lock.
    SoundSlots<PulseSound> m_sounds;
    // The player ends: no sound is kept ready any more.
    bool m_ending = false;
};
