#pragma once

#include "run/MediaPlayer.h"

#include <memory>

class SoundFile;

// A sound device that opens and decodes each file as the run's device does,
// with the same decoder, and plays nothing.
class SilentMediaPlayer final : public MediaPlayer
{
public:
    SilentMediaPlayer();
    ~SilentMediaPlayer() override;
    Q_DISABLE_COPY_MOVE(SilentMediaPlayer)

    void setTimeFormatMilliseconds() override {}
    void setFileName(const QString &path) override { m_fileName = path; }
    QString fileName() const override { return m_fileName; }
    void prepare() override {}
    bool isOpen() const override { return m_file != nullptr; }
    void open() override;
    void close() override;
    void stop() override { requireOpen(); }
    void play() override { requireOpen(); }
    QString playFailure() const override { return {}; }
    qint64 length() const override;

private:
    void requireOpen() const;

    QString m_fileName;
    std::unique_ptr<SoundFile> m_file;
};
