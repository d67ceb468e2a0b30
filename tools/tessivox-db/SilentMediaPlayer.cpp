#include "SilentMediaPlayer.h"

#include "run/SoundError.h"
#include "run/SoundFile.h"

SilentMediaPlayer::SilentMediaPlayer() = default;
SilentMediaPlayer::~SilentMediaPlayer() = default;

void SilentMediaPlayer::open()
{
    close();
    m_file = std::make_unique<SoundFile>(m_fileName);
}

void SilentMediaPlayer::close()
{
    m_file.reset();
}

qint64 SilentMediaPlayer::length() const
{
    requireOpen();
    return m_file->lengthMs();
}

void SilentMediaPlayer::requireOpen() const
{
    if (!m_file)
        throw SoundError(QStringLiteral("No sound device open"));
}
