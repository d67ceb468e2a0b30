#pragma once

#include "platform/PulseConnection.h"
#include "run/MediaPlayer.h"

#include <QString>
#include <memory>

struct pa_operation;
struct pa_stream;
class SoundFile;

// The sound device of a run on the sound server's own client library: reads
// the file with libsndfile and plays it as one stream of the server's default
// output. The stream is fed from the connection's thread, so the UI thread
// is not needed while a sound plays.
//
// Every play first makes sure of the server: a server that went away since
// the last play is connected to anew, and one that is still gone is reported
// through playFailure() rather than played into silence.
class PulseMediaPlayer final : public MediaPlayer
{
public:
    PulseMediaPlayer();
    ~PulseMediaPlayer() override;
    Q_DISABLE_COPY_MOVE(PulseMediaPlayer)

    void setTimeFormatMilliseconds() override {}
    void setFileName(const QString &path) override { m_fileName = path; }
    QString fileName() const override { return m_fileName; }
    bool isOpen() const override { return m_file != nullptr; }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    QString playFailure() const override;
    qint64 length() const override;

private:
    void requireOpen() const;
    // These run with the connection's lock held.
    QString startStream();
    void releaseStream();
    void feed(size_t bytes);
    void streamChanged();

    // Declared first so that it goes last, once no stream is left.
    PulseConnection m_connection;
    QString m_fileName;
    // The open file's path, for the connection's thread: the file name may
    // change for the next sound while this one plays.
    QString m_openFile;
    std::unique_ptr<SoundFile> m_file;
    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    bool m_played = false;
    QString m_playFailure;
};
