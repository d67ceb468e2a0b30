#pragma once

#include "run/MediaPlayer.h"

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
    void setFileName(const QString &path) override { m_fileName = path; }
    QString fileName() const override { return m_fileName; }
    void prepare() override;
    void forgetPrepared() override;
    bool isOpen() const override { return m_current != nullptr; }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    QString playFailure() const override;
    qint64 startHeardUs() const override;
    qint64 length() const override;

private:
    void requireOpen() const;
    std::shared_ptr<WasapiSound> begin(std::shared_ptr<WasapiSound> sound);
    // A sound of the file named now, got ready lately from what the file
    // still holds.
    bool current(const std::shared_ptr<WasapiSound> &sound) const;
    void letGo(std::shared_ptr<WasapiSound> &sound);

    QString m_fileName;
    std::shared_ptr<WasapiSound> m_prepared;
    std::shared_ptr<WasapiSound> m_current;
    bool m_playAsked = false;
    // The failure of the sound closed last, until the next open().
    QString m_closedFailure;
};
