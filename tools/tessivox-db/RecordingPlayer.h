#pragma once

#include "Timeline.h"

#include "run/MediaPlayer.h"

#include <QDateTime>

class Clock;

// Passes every call on to a device and writes into a timeline each sound
// silenced before its end: the scheduler itself reports what starts.
class RecordingPlayer final : public MediaPlayer
{
public:
    RecordingPlayer(MediaPlayer &device, const Clock &clock, Timeline &timeline)
        : m_device(device), m_clock(clock), m_timeline(timeline)
    {}
    Q_DISABLE_COPY_MOVE(RecordingPlayer)

    void setTimeFormatMilliseconds() override { m_device.setTimeFormatMilliseconds(); }
    void setFileName(const QString &path) override { m_device.setFileName(path); }
    QString fileName() const override { return m_device.fileName(); }
    void prepare() override { m_device.prepare(); }
    void forgetPrepared() override { m_device.forgetPrepared(); }
    bool isOpen() const override { return m_device.isOpen(); }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    QString playFailure() const override { return m_device.playFailure(); }
    qint64 length() const override { return m_device.length(); }

private:
    void silence();

    MediaPlayer &m_device;
    const Clock &m_clock;
    Timeline &m_timeline;
    // The sound playing, if any: its file, start and end.
    QString m_playing;
    QDateTime m_started;
    QDateTime m_ends;
};
