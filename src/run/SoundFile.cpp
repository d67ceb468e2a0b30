#include "run/SoundFile.h"

#include "run/SoundError.h"

#include <QFile>
#include <sndfile.h>

SNDFILE *openSoundFile(const QString &path, int mode, SF_INFO *info)
{
#ifdef Q_OS_WIN
    return sf_wchar_open(path.toStdWString().c_str(), mode, info);
#else
    return sf_open(QFile::encodeName(path).constData(), mode, info);
#endif
}

SoundFile::SoundFile(const QString &path)
{
    SF_INFO info{};
    m_file = openSoundFile(path, SFM_READ, &info);
    if (!m_file) {
        throw SoundError(QStringLiteral("Cannot open sound file \"%1\": %2")
                             .arg(path, QString::fromLocal8Bit(sf_strerror(nullptr))));
    }
    m_sampleRate = info.samplerate;
    m_channelCount = info.channels;
    m_frameCount = info.frames;
}

SoundFile::~SoundFile()
{
    sf_close(m_file);
}

qint64 SoundFile::read(char *data, qint64 maxSize)
{
    // Every encoding is read as float, which keeps a float file's level
    // (read as integers, libsndfile rounds its -1..1 samples to 0 and 1).
    const qint64 frames =
        sf_readf_float(m_file, reinterpret_cast<float *>(data), maxSize / bytesPerFrame());
    return frames * bytesPerFrame();
}
