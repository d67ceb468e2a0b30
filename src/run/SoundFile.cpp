#include "run/SoundFile.h"

#include "run/SoundError.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <sndfile.h>

SoundFile::SoundFile(const QString &path)
{
    SF_INFO info{};
#ifdef Q_OS_WIN
    // The narrow entry point would lose any character outside the ANSI code page.
    m_file = sf_wchar_open(reinterpret_cast<const wchar_t *>(path.utf16()), SFM_READ, &info);
#else
    m_file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
#endif
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

void SoundFile::setSampleFormat(QAudioFormat::SampleFormat format)
{
    Q_ASSERT(format == QAudioFormat::Int16 || format == QAudioFormat::Float);
    m_sampleFormat = format;
}

QAudioFormat SoundFile::audioFormat() const
{
    QAudioFormat format;
    format.setSampleRate(m_sampleRate);
    format.setChannelCount(m_channelCount);
    format.setSampleFormat(m_sampleFormat);
    return format;
}

qint64 SoundFile::read(char *data, qint64 maxSize)
{
    const qint64 wanted = maxSize / bytesPerFrame();
    m_samples.resize(size_t(wanted * m_channelCount));
    // Every encoding is read as float so that float files keep their level in
    // Int16 (read as integers, libsndfile rounds their -1..1 samples to 0 and 1).
    const qint64 frames = sf_readf_float(m_file, m_samples.data(), wanted);
    const size_t samples = size_t(frames * m_channelCount);
    if (m_sampleFormat == QAudioFormat::Float) {
        std::memcpy(data, m_samples.data(), samples * sizeof(float));
    } else {
        for (size_t i = 0; i < samples; ++i) {
            const auto value =
                qint16(std::clamp(std::lrint(m_samples[i] * 32768.0f), -32768L, 32767L));
            std::memcpy(data + i * sizeof(qint16), &value, sizeof(qint16));
        }
    }
    return frames * bytesPerFrame();
}
