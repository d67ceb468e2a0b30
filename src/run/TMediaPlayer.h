#pragma once

#include "run/MediaPlayer.h"

#include <QAudio>
#include <QByteArray>
#include <QIODevice>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>

class QAudioSink;
class SoundFile;

// The sound device of a run: reads the file with libsndfile and plays it on the
// default audio output. Lives on the UI thread, whose event loop keeps the
// output topped up while a sound plays.
class TMediaPlayer final : public MediaPlayer
{
public:
    TMediaPlayer();
    ~TMediaPlayer() override;
    Q_DISABLE_COPY_MOVE(TMediaPlayer)

    void setTimeFormatMilliseconds() override {}
    void setFileName(const QString &path) override { m_fileName = path; }
    QString fileName() const override { return m_fileName; }
    // Opening the output costs no waiting on the server here.
    void prepare() override {}
    bool isOpen() const override { return m_file != nullptr; }
    void open() override;
    void close() override;
    void stop() override;
    void play() override;
    qint64 length() const override;
    QString playFailure() const override;

    // Sound outputs closed shortly before are still being torn down by the
    // audio system's own thread, and a process that exits at once may crash
    // inside it. Runs the event loop briefly when any output was used.
    static void settleBeforeExit();

private:
    // Destroying a QAudioSink runs pending events (PulseAudio, Qt 6.4). Left to
    // the event loop, that cannot re-enter a play tick that closes the device,
    // nor reach a window that is being destroyed with its device.
    struct DeleteLater
    {
        void operator()(QObject *object) const { object->deleteLater(); }
    };

    void requireOpen() const;
    void feed();

    QString m_fileName;
    std::unique_ptr<SoundFile> m_file;
    std::unique_ptr<QAudioSink, DeleteLater> m_sink;
    // Owned by the sink, which deletes it when it stops, also on its own when
    // the sound server goes away.
    QPointer<QIODevice> m_output;
    QTimer m_feedTimer;
    QByteArray m_buffer;
    QAudio::Error m_playError = QAudio::NoError;
};
