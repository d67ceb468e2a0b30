#include "RecordingPlayer.h"

#include "platform/Clock.h"
#include "run/SoundError.h"

void RecordingPlayer::record(TimelineEvent::Kind kind, const QString &file, const QString &text,
                             qint64 ms)
{
    m_timeline.append({m_clock.now(), kind, file, text, ms});
}

void RecordingPlayer::setFileName(const QString &path)
{
    ++m_fileNamesStored;
    m_device.setFileName(path);
}

void RecordingPlayer::silence()
{
    if (m_playing.isEmpty())
        return;
    const QDateTime now = m_clock.now();
    if (now < m_ends)
        record(TimelineEvent::Kind::CutOff, m_playing, {}, m_started.msecsTo(now));
    m_playing.clear();
}

void RecordingPlayer::open()
{
    // Opening closes whatever the device had open.
    silence();
    try {
        m_device.open();
    } catch (const SoundError &error) {
        record(TimelineEvent::Kind::OpenFailed, m_device.fileName(), error.text(), 0);
        throw;
    }
}

void RecordingPlayer::close()
{
    silence();
    m_device.close();
}

void RecordingPlayer::stop()
{
    silence();
    m_device.stop();
}

void RecordingPlayer::play()
{
    m_device.play();
    if (!m_device.playFailure().isEmpty() || !m_playing.isEmpty())
        return;
    const qint64 length = m_device.length();
    m_playing = m_device.fileName();
    m_started = m_clock.now();
    m_ends = m_started.addMSecs(length);
    record(TimelineEvent::Kind::Play, m_playing, {}, length);
}
