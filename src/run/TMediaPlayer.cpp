#include "run/TMediaPlayer.h"

#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QEventLoop>
#include <QMediaDevices>
#include <cstring>

namespace {

bool outputsUsed = false;

// Well inside the output's default buffer (about 150 ms), so a busy UI thread
// has room before the sound would break up.
constexpr int FeedIntervalMs = 10;

// Float keeps 24- and 32-bit sources intact; Int16 is what nearly every output
// takes. When the output claims neither at the file's rate and channel count,
// Int16 is still tried: the output then either converts or refuses, and a
// refusal is recorded by play() like any other failure to start.
QAudioFormat::SampleFormat sampleFormatFor(const QAudioDevice &output, const SoundFile &file)
{
    for (const auto sampleFormat : {QAudioFormat::Float, QAudioFormat::Int16}) {
        QAudioFormat format;
        format.setSampleRate(file.sampleRate());
        format.setChannelCount(file.channelCount());
        format.setSampleFormat(sampleFormat);
        if (output.isFormatSupported(format))
            return sampleFormat;
    }
    return QAudioFormat::Int16;
}

} // namespace

TMediaPlayer::TMediaPlayer()
{
    m_feedTimer.setTimerType(Qt::PreciseTimer);
    m_feedTimer.setInterval(FeedIntervalMs);
    QObject::connect(&m_feedTimer, &QTimer::timeout, &m_feedTimer, [this] { feed(); });
}

TMediaPlayer::~TMediaPlayer()
{
    close();
}

void TMediaPlayer::open()
{
    close();
    auto file = std::make_unique<SoundFile>(m_fileName);
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    file->setSampleFormat(sampleFormatFor(output, *file));
    m_sink.reset(new QAudioSink(output, file->audioFormat()));
    outputsUsed = true;
    m_file = std::move(file);
    m_playError = QAudio::NoError;
}

void TMediaPlayer::close()
{
    m_feedTimer.stop();
    m_output = nullptr;
    // stop() silences the sound now; the sink itself goes later.
    if (m_sink)
        m_sink->stop();
    m_sink.reset();
    m_file.reset();
}

void TMediaPlayer::stop()
{
    requireOpen();
    m_feedTimer.stop();
    m_output = nullptr;
    m_sink->stop();
}

// The output is pushed to rather than left to pull: a pulling output asks for
// its first data only at its next period (20 ms with PulseAudio), whereas the
// first buffer written here is heard within a millisecond or two.
void TMediaPlayer::play()
{
    requireOpen();
    // Playing, or played to the end: like a device that does not rewind, a
    // second play() starts nothing.
    if (m_output)
        return;
    m_output = m_sink->start();
    // Without a sound server the output fails inside start() and emits nothing,
    // so the outcome is read back at once.
    if (!m_output) {
        m_playError = m_sink->error() == QAudio::NoError ? QAudio::OpenError : m_sink->error();
        return;
    }
    m_playError = QAudio::NoError;
    feed();
    m_feedTimer.start();
}

void TMediaPlayer::feed()
{
    if (!m_output) {
        m_feedTimer.stop();
        return;
    }
    const int frameBytes = m_file->bytesPerFrame();
    const qint64 room = m_sink->bytesFree() / frameBytes * frameBytes;
    if (room <= 0)
        return;
    m_buffer.resize(room);
    const qint64 bytes = m_file->read(m_buffer.data(), room);
    if (bytes < room) {
        // After the last frame the buffer is filled up with silence: an output
        // may hold back a sound shorter than its start threshold until more
        // data comes, and a short instruction must still be heard.
        std::memset(m_buffer.data() + bytes, 0, size_t(room - bytes));
        m_feedTimer.stop();
    }
    m_output->write(m_buffer.constData(), room);
}

QString TMediaPlayer::playFailure() const
{
    // A sink that stops after it started (its server went away) tells only
    // through its error; running out of data at the end is no failure.
    QAudio::Error error = m_playError;
    if (error == QAudio::NoError && m_sink &&
        (m_sink->error() == QAudio::IOError || m_sink->error() == QAudio::FatalError))
        error = m_sink->error();
    switch (error) {
    case QAudio::NoError:
        return {};
    case QAudio::OpenError:
        return QStringLiteral("The sound output could not be opened: %1").arg(m_fileName);
    case QAudio::IOError:
        return QStringLiteral("The sound output failed while playing: %1").arg(m_fileName);
    case QAudio::UnderrunError:
    case QAudio::FatalError:
        break;
    }
    return QStringLiteral("The sound output stopped: %1").arg(m_fileName);
}

qint64 TMediaPlayer::length() const
{
    requireOpen();
    return m_file->lengthMs();
}

void TMediaPlayer::requireOpen() const
{
    if (!m_file)
        throw SoundError(QStringLiteral("No sound device open"));
}

void TMediaPlayer::settleBeforeExit()
{
    if (!outputsUsed)
        return;
    // Measured: exiting right after a close crashed about once in a hundred
    // runs; after 300 ms of event loop, never in six hundred.
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
}
