#pragma once

#include "run/MediaPlayer.h"
#include "run/SoundSlots.h"

#include <QString>
#include <memory>

class WasapiSound;

// The sound device of a run on Windows' own sound client library (WASAPI,
// shared mode): reads the file with libsndfile, converts it to the default
// output's own format and plays it as one stream of that output.
//
// As on Linux, a sound is best prepared ahead of its second (prepare()): a
// thread opens the file, finds the default output (anew each time, so an
// output removed or changed is followed at the next instruction) and fills
// the stream's buffer, so that open() and play() at the second only take
// that sound and start it. Neither waits long: a sound not ready by then is
// reported through playFailure() rather than waited for.
class WasapiMediaPlayer final : public MediaPlayer
{
public:
    WasapiMediaPlayer();
    ~WasapiMediaPlayer() override;
    Q_DISABLE_COPY_MOVE(WasapiMediaPlayer)

    void setTimeFormatMilliseconds() override {}
    void setFileName(const QString &path) override { m_sounds.fileName = path; }
    QString fileName() const override { return m_sounds.fileName; }
    void prepare() override;
    void forgetPrepared() override;
    bool isOpen() const override { return m_sounds.current != nullptr; }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    QString playFailure() const override;
    qint64 startHeardUs() const override;
    qint64 length() const override;

private:
    static std::shared_ptr<WasapiSound> begin(std::shared_ptr<WasapiSound> sound);

    SoundSlots<WasapiSound> m_sounds;
};
