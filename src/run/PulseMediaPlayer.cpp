#include "run/PulseMediaPlayer.h"

#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFileInfo>
#include <mutex>
#include <pulse/channelmap.h>
#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

namespace {

// What the server holds of a sound ahead of its play position. The first
// write fills it at once, so playback starts on the first write; the rest is
// topped up from the connection's thread, with this much room for a busy
// machine before the sound would break up.
constexpr pa_usec_t BufferUs = 250 * PA_USEC_PER_MSEC;

} // namespace

PulseMediaPlayer::PulseMediaPlayer() = default;

PulseMediaPlayer::~PulseMediaPlayer()
{
    close();
}

void PulseMediaPlayer::open()
{
    close();
    m_file = std::make_unique<SoundFile>(m_fileName);
    m_file->setSampleFormat(QAudioFormat::Float);
    std::lock_guard lock(m_connection);
    m_openFile = m_fileName;
    m_playFailure.clear();
    // Connecting now spares the play the handshake; a failure here is
    // reported by play(), which tries again.
    m_connection.connect();
}

void PulseMediaPlayer::close()
{
    {
        std::lock_guard lock(m_connection);
        releaseStream();
    }
    m_file.reset();
}

void PulseMediaPlayer::stop()
{
    requireOpen();
    std::lock_guard lock(m_connection);
    releaseStream();
}

void PulseMediaPlayer::play()
{
    requireOpen();
    std::lock_guard lock(m_connection);
    // Playing, or played to the end: like a device that does not rewind, a
    // second play() starts nothing.
    if (m_stream)
        return;
    m_playFailure = startStream();
    if (!m_playFailure.isEmpty())
        releaseStream();
}

QString PulseMediaPlayer::playFailure() const
{
    std::lock_guard lock(m_connection);
    return m_playFailure;
}

qint64 PulseMediaPlayer::length() const
{
    requireOpen();
    return m_file->lengthMs();
}

void PulseMediaPlayer::requireOpen() const
{
    if (!m_file)
        throw SoundError(QStringLiteral("No sound device open"));
}

QString PulseMediaPlayer::startStream()
{
    const QString file = QStringLiteral("\"%1\"").arg(m_openFile);
    const auto refused = [&] {
        return QStringLiteral("The sound server refused %1: %2")
            .arg(file, m_connection.lastError());
    };
    if (const QString failure = m_connection.connect(); !failure.isEmpty())
        return failure + QStringLiteral(" for ") + file;
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, uint32_t(m_file->sampleRate()),
                                      uint8_t(m_file->channelCount())};
    if (!pa_sample_spec_valid(&sampleFormat) || m_file->channelCount() > int(PA_CHANNELS_MAX)) {
        return QStringLiteral("The sound server cannot play %1 channels at %2 Hz: %3")
            .arg(m_file->channelCount())
            .arg(m_file->sampleRate())
            .arg(file);
    }
    pa_channel_map map;
    pa_channel_map_init_extend(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    m_stream =
        pa_stream_new(m_connection.context(), QFileInfo(m_openFile).fileName().toUtf8().constData(),
                      &sampleFormat, &map);
    if (!m_stream)
        return refused();
    pa_stream_set_state_callback(
        m_stream,
        [](pa_stream *, void *self) { static_cast<PulseMediaPlayer *>(self)->streamChanged(); },
        this);
    // The server asks for the first data as the stream becomes ready, so it
    // is written on the connection's thread before play() even returns.
    pa_stream_set_write_callback(
        m_stream,
        [](pa_stream *, size_t bytes, void *self) {
            static_cast<PulseMediaPlayer *>(self)->feed(bytes);
        },
        this);
    const uint32_t serverDefault = uint32_t(-1);
    const pa_buffer_attr buffer{serverDefault, uint32_t(pa_usec_to_bytes(BufferUs, &sampleFormat)),
                                serverDefault, serverDefault, serverDefault};
    if (pa_stream_connect_playback(m_stream, nullptr, &buffer, PA_STREAM_NOFLAGS, nullptr,
                                   nullptr) < 0)
        return refused();
    const auto settled = [this] {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    };
    if (!m_connection.waitFor(settled))
        return QStringLiteral("The sound server did not answer for %1").arg(file);
    if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return refused();
    return {};
}

void PulseMediaPlayer::feed(size_t bytes)
{
    const size_t frameBytes = size_t(m_file->bytesPerFrame());
    while (bytes >= frameBytes && !m_drain) {
        void *data = nullptr;
        size_t size = bytes / frameBytes * frameBytes;
        if (pa_stream_begin_write(m_stream, &data, &size) < 0)
            return;
        const size_t wanted = size / frameBytes * frameBytes;
        const size_t got = size_t(m_file->read(static_cast<char *>(data), qint64(wanted)));
        if (got > 0)
            pa_stream_write(m_stream, data, got, nullptr, 0, PA_SEEK_RELATIVE);
        else
            pa_stream_cancel_write(m_stream);
        if (wanted == 0)
            return;
        if (got < wanted) {
            // Draining also starts a sound shorter than the buffer, which
            // would otherwise wait for the buffer to fill.
            m_drain = pa_stream_drain(
                m_stream,
                [](pa_stream *stream, int success, void *self) {
                    // Played to its end: the stream is let go on the server,
                    // which may then rest its output, and the server's later
                    // fate no longer concerns this sound.
                    static_cast<PulseMediaPlayer *>(self)->m_played = success;
                    if (success)
                        pa_stream_disconnect(stream);
                },
                this);
            return;
        }
        bytes -= got;
    }
}

void PulseMediaPlayer::streamChanged()
{
    m_connection.wake();
    if (pa_stream_get_state(m_stream) == PA_STREAM_FAILED && !m_played && m_playFailure.isEmpty()) {
        m_playFailure = QStringLiteral("The sound server stopped playing \"%1\": %2")
                            .arg(m_openFile, m_connection.lastError());
    }
}

void PulseMediaPlayer::releaseStream()
{
    if (m_drain) {
        if (pa_operation_get_state(m_drain) == PA_OPERATION_RUNNING)
            pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
        m_drain = nullptr;
    }
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_played = false;
}
