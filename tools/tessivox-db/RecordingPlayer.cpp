#include "RecordingPlayer.h"

#include "platform/Clock.h"

void RecordingPlayer::silence()
{
    if (m_playing.isEmpty())
        return;
    const QDateTime now = m_clock.now();
    if (now < m_ends)
        m_timeline.append(
            {now, TimelineEvent::Kind::CutOff, m_playing, {}, m_started.msecsTo(now), {}});
    m_playing.clear();
}

void RecordingPlayer::open()
{
    // Opening closes whatever the device had open.
    silence();
    m_device.open();
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
    m_playing = m_device.fileName();
    m_started = m_clock.now();
    m_ends = m_started.addMSecs(m_device.length());
}
