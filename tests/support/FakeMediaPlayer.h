#pragma once

#include "run/MediaPlayer.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <functional>

// Records every call in order and keeps the real device's open/closed rules,
// without sound. The log reads like "fileName:/a.wav", "open:/a.wav", "close",
// "stop", "play", "length", "timeFormat"; a call that throws is logged too.
class FakeMediaPlayer final : public MediaPlayer
{
public:
    FakeMediaPlayer() = default;
    Q_DISABLE_COPY_MOVE(FakeMediaPlayer)

    void setTimeFormatMilliseconds() override;
    void setFileName(const QString &path) override;
    QString fileName() const override { return m_fileName; }
    // Noted apart from the log: when it comes is the device's business.
    void prepare() override { prepared << m_fileName; }
    void forgetPrepared() override { ++forgotten; }
    bool isOpen() const override { return m_open; }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    qint64 length() const override;
    QString playFailure() const override { return m_playFailure; }
    qint64 startHeardUs() const override { return heardUs; }

    // The sound playing breaks off, as when the sound server goes away.
    void breakOff();

    // The file whose sound is playing: played since its open and not stopped
    // or closed. Empty when silent.
    QString playing() const { return m_playing; }

    mutable QStringList log;
    // The file names prepare() was called with, in order.
    QStringList prepared;
    // Opening a file that is not on disk fails, as with the real device.
    bool missingFilesFail = false;
    // How often forgetPrepared() was called.
    int forgotten = 0;
    // open() throws SoundError for every file, or for these paths.
    bool openFailsForAll = false;
    QSet<QString> openFailsFor;
    // play() starts no sound for every file, or for these paths, and says so
    // through playFailure().
    bool playFailsForAll = false;
    QSet<QString> playFailsFor;
    // Called inside play(), as a device that takes its time to start.
    std::function<void()> whilePlaying;
    // length() per path; 0 for a path not listed.
    QHash<QString, qint64> lengths;
    // What startHeardUs() says: when the output lets the sound be heard.
    qint64 heardUs = 0;

private:
    void requireOpen() const;

    QString m_fileName;
    QString m_openFile;
    QString m_playing;
    QString m_playFailure;
    bool m_open = false;
};
