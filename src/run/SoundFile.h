#pragma once

#include <QAudioFormat>
#include <QString>
#include <vector>

using SNDFILE = struct sf_private_tag;

// One sound file open for reading, its frames handed out as interleaved
// samples in a format an audio output takes: Int16 or Float, at the file's own
// rate and channel count.
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
    qint64 lengthMs() const { return m_frameCount * 1000 / m_sampleRate; }

    // Int16 or Float; Float until set.
    void setSampleFormat(QAudioFormat::SampleFormat format);
    QAudioFormat audioFormat() const;
    int bytesPerFrame() const { return audioFormat().bytesPerFrame(); }

    // The next whole frames that fit into maxSize bytes; returns the bytes
    // written, 0 at the end of the file.
    qint64 read(char *data, qint64 maxSize);

private:
    SNDFILE *m_file = nullptr;
    int m_sampleRate = 0;
    int m_channelCount = 0;
    qint64 m_frameCount = 0;
    QAudioFormat::SampleFormat m_sampleFormat = QAudioFormat::Float;
    std::vector<float> m_samples;
};
