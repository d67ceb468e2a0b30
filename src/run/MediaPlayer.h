#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The sound playback device as the run window and the scheduler drive it: one
// sound file at a time, opened by path, played without waiting, timed by its
// length. The caller never waits for the end of a sound.
//
// Open/closed rules: stop(), play() and length() need an open device and throw
// SoundError("No sound device open") otherwise.
class MediaPlayer
{
public:
    MediaPlayer() = default;
    virtual ~MediaPlayer() = default;
    Q_DISABLE_COPY_MOVE(MediaPlayer)

    // Lengths are always milliseconds; kept because the run window sets it once.
    virtual void setTimeFormatMilliseconds() = 0;
    // Stored only; the next open() uses it.
    virtual void setFileName(const QString &path) = 0;
    virtual QString fileName() const = 0;
    // Gets the stored file name's sound ready ahead of its open() and play(),
    // off the calling thread and without waiting, so that these only start
    // it; what cannot be got ready is reported by them as usual. Nothing for
    // a device whose open and play cost no waiting.
    virtual void prepare() = 0;
    // Lets go of what was got ready: the clock was set, and a sound got ready
    // for a second that moved may no longer be what plays then.
    virtual void forgetPrepared() {}
    virtual bool isOpen() const = 0;
    // Closes an open device first. Throws SoundError when the file cannot be
    // opened; the device is closed then.
    virtual void open() = 0;
    // Silences any sound at once. Does nothing when nothing is open.
    virtual void close() = 0;
    virtual void stop() = 0;
    // Returns at once while the sound plays on. A failure to start is recorded
    // by the implementation, never thrown.
    virtual void play() = 0;
    // Why the last play() since open() did not start the sound (no sound
    // server, or the server gone since the last play; no output; a format the
    // output refuses), or why the sound broke off after it started (the
    // server went away); empty while the sound plays or once it played out.
    virtual QString playFailure() const = 0;
    // When the start of the sound the last play() started reaches the
    // listeners, as the output accounts for it (its latency then, less what
    // it played already): microseconds from the beginning of the system
    // clock's millisecond in which play() returned. Reading the clock to the
    // millisecond right after play(), the caller adds it to get the moment.
    // A device that cannot tell says 0: the sound counts as heard then.
    virtual qint64 startHeardUs() const { return 0; }
    virtual qint64 length() const = 0;

    // How long after second the sound that play() let go at the clock's
    // letGo (read right after it) is heard, in whole milliseconds rounded
    // up: never less than the delay heard.
    qint64 heardDelayMs(const QDateTime &second, const QDateTime &letGo) const
    {
        const qint64 heardUs = second.msecsTo(letGo) * 1000 + startHeardUs();
        return heardUs / 1000 + (heardUs % 1000 > 0 ? 1 : 0);
    }
};
