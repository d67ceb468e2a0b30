#pragma once

#include "Timeline.h"

#include "run/MediaPlayer.h"

#include <QDateTime>

class Clock;

// Passes every call on to a device and writes what is heard into a timeline:
// each sound that starts, each one silenced before its end, each file that
// cannot be opened.
class RecordingPlayer final : public MediaPlayer
{
public:
    RecordingPlayer(MediaPlayer &device, const Clock &clock, Timeline &timeline)
        : m_device(device), m_clock(clock), m_timeline(timeline)
    {}
    Q_DISABLE_COPY_MOVE(RecordingPlayer)

    void setTimeFormatMilliseconds() override { m_device.setTimeFormatMilliseconds(); }
    void setFileName(const QString &path) override;
    QString fileName() const override { return m_device.fileName(); }
    bool isOpen() const override { return m_device.isOpen(); }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    QString playFailure() const override { return m_device.playFailure(); }
    qint64 length() const override { return m_device.length(); }

    // How often a file name was stored: the scheduler does so whenever it
    // arms an instruction.
    int fileNamesStored() const { return m_fileNamesStored; }

private:
    void silence();
    void record(TimelineEvent::Kind kind, const QString &file, const QString &text, qint64 ms);

    MediaPlayer &m_device;
    const Clock &m_clock;
    Timeline &m_timeline;
    int m_fileNamesStored = 0;
    // The sound playing, if any: its file, start and end.
    QString m_playing;
    QDateTime m_started;
    QDateTime m_ends;
};
