#include "FakeMediaPlayer.h"

#include <QFileInfo>

#include "run/SoundError.h"

void FakeMediaPlayer::setTimeFormatMilliseconds()
{
    log << QStringLiteral("timeFormat");
}

void FakeMediaPlayer::setFileName(const QString &path)
{
    log << QStringLiteral("fileName:") + path;
    m_fileName = path;
}

void FakeMediaPlayer::open()
{
    log << QStringLiteral("open:") + m_fileName;
    m_playFailure.clear();
    m_open = false;
    m_playing.clear();
    if (openFailsForAll || openFailsFor.contains(m_fileName) ||
        (missingFilesFail && !QFileInfo::exists(m_fileName)))
        throw SoundError(QStringLiteral("Cannot open sound file \"%1\"").arg(m_fileName));
    m_open = true;
    m_openFile = m_fileName;
}

void FakeMediaPlayer::close()
{
    log << QStringLiteral("close");
    m_open = false;
    m_playing.clear();
}

void FakeMediaPlayer::stop()
{
    log << QStringLiteral("stop");
    requireOpen();
    m_playing.clear();
}

void FakeMediaPlayer::play()
{
    log << QStringLiteral("play");
    requireOpen();
    if (whilePlaying)
        whilePlaying();
    if (playFailsForAll || playFailsFor.contains(m_openFile)) {
        m_playFailure = QStringLiteral("No sound output for \"%1\"").arg(m_openFile);
        return;
    }
    m_playFailure.clear();
    m_playing = m_openFile;
}

qint64 FakeMediaPlayer::length() const
{
    log << QStringLiteral("length");
    requireOpen();
    return lengths.value(m_openFile, 0);
}

void FakeMediaPlayer::requireOpen() const
{
    if (!m_open)
        throw SoundError(QStringLiteral("No sound device open"));
}

void FakeMediaPlayer::breakOff()
{
    m_playFailure = QStringLiteral("The sound server stopped playing \"%1\"").arg(m_playing);
    m_playing.clear();
}
