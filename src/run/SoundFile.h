#pragma once

#include <QString>
#include <QtGlobal>

using SNDFILE = struct sf_private_tag;
struct SF_INFO;

// libsndfile's sf_open for any path the program is given: on Windows through
// the wide-character entry point, as the narrow one loses every character
// outside the ANSI code page (a Chinese folder name).
SNDFILE *openSoundFile(const QString &path, int mode, SF_INFO *info);

// One sound file open for reading, its frames handed out as interleaved
// 32-bit float samples at the file's own rate and channel count.
class SoundFile final
{
public:
    // Throws SoundError with the decoder's reason and the path when the file is
    // missing or not a sound file it can read.
    explicit SoundFile(const QString &path);
    ~SoundFile();
    Q_DISABLE_COPY_MOVE(SoundFile)

    int sampleRate() const { return m_sampleRate; }
    int channelCount() const { return m_channelCount; }
    qint64 frameCount() const { return m_frameCount; }
    qint64 lengthMs() const { return m_frameCount * 1000 / m_sampleRate; }
    int bytesPerFrame() const { return m_channelCount * int(sizeof(float)); }

    // The next whole frames that fit into maxSize bytes; returns the bytes
    // written, 0 at the end of the file.
    qint64 read(char *data, qint64 maxSize);

private:
    SNDFILE *m_file = nullptr;
    int m_sampleRate = 0;
    int m_channelCount = 0;
    qint64 m_frameCount = 0;
};
