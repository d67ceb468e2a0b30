#include "run/PulseSound.h"

#include "platform/PulseConnection.h"
#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <mutex>
#include <pulse/channelmap.h>
#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

namespace {

// What the server holds of a sound ahead of its play position. It is filled
// while the stream is corked, so playback starts on the uncork; the rest is
// topped up from the connection's thread, with this much room for a busy
// machine before the sound would break up.
constexpr pa_usec_t BufferUs = 250 * PA_USEC_PER_MSEC;

// A local server takes the start of a sound within a millisecond, a busy one
// within a few; one that takes longer costs the delay reported, not the
// windows.
constexpr int StartTakenWithinMs = 50;

// A stream given up while the server has not yet answered its creation:
// it can only be disconnected once it exists, so it goes then.
void dropWhenCreated(pa_stream *stream, void *)
{
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) {
        pa_stream_disconnect(stream);
    } else if (!PA_STREAM_IS_GOOD(state)) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_unref(stream);
    }
}

} // namespace

PulseSound::PulseSound(PulseConnection &connection, QString path)
    : m_connection(connection), m_path(std::move(path))
{
    m_since.start();
}

PulseSound::~PulseSound() = default;

namespace {

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

bool PulseSound::freshFor(qint64 withinMs) const
{
    if (m_since.elapsed() > withinMs)
        return false;
    if (!m_fileSettled || !m_fileFailure.isEmpty())
        return true;
    struct stat now
    {};
    return ::stat(QFile::encodeName(m_path).constData(), &now) == 0 && sameFile(now, m_identity);
}

void PulseSound::readFile()
{
    std::unique_ptr<SoundFile> file;
    QString fileFailure;
    // Taken before the file is opened: a file replaced meanwhile then
    // counts as changed, never the other way round.
    struct stat identity
    {};
    ::stat(QFile::encodeName(m_path).constData(), &identity);
    try {
        file = std::make_unique<SoundFile>(m_path);
    } catch (const SoundError &error) {
        fileFailure = error.text();
    }
    std::lock_guard lock(m_connection);
    m_identity = identity;
    m_file = std::move(file);
    m_fileFailure = fileFailure;
    m_fileSettled = true;
    m_connection.wake();
}

void PulseSound::prepare()
{
    // Read by whoever started this preparation, or here.
    if (!m_fileSettled && !m_released)
        readFile();
    std::lock_guard lock(m_connection);
    if (m_released)
        return;
    const QString failure = m_fileFailure.isEmpty() ? makeStream() : m_fileFailure;
    if (m_released)
        return;
    m_prepared = true;
    if (!failure.isEmpty())
        giveUp(failure);
    m_connection.wake();
}

qint64 PulseSound::lengthMs() const
{
    return m_file->lengthMs();
}

bool PulseSound::settled() const
{
    return m_prepared || !m_failure.isEmpty();
}

bool PulseSound::ready() const
{
    return m_prepared && m_failure.isEmpty() && m_stream &&
           pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

void PulseSound::giveUp(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
    release();
}

QString PulseSound::makeStream()
{
    const QString file = QStringLiteral("\"%1\"").arg(m_path);
    const auto refused = [&] {
        return QStringLiteral("The sound server refused %1: %2")
            .arg(file, m_connection.lastError());
    };
    if (const QString failure = m_connection.connect(); !failure.isEmpty())
        return failure + QStringLiteral(" for ") + file;
    if (m_released)
        return {};
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
        pa_stream_new(m_connection.context(), QFileInfo(m_path).fileName().toUtf8().constData(),
                      &sampleFormat, &map);
    if (!m_stream)
        return refused();
    pa_stream_set_state_callback(
        m_stream, [](pa_stream *, void *self) { static_cast<PulseSound *>(self)->streamChanged(); },
        this);
    // The server asks for the first data as the stream becomes ready, so the
    // buffer is full by the time the stream is seen ready.
    pa_stream_set_write_callback(
        m_stream,
        [](pa_stream *, size_t bytes, void *self) { static_cast<PulseSound *>(self)->feed(bytes); },
        this);
    const uint32_t serverDefault = uint32_t(-1);
    const pa_buffer_attr buffer{serverDefault, uint32_t(pa_usec_to_bytes(BufferUs, &sampleFormat)),
                                serverDefault, serverDefault, serverDefault};
    if (pa_stream_connect_playback(m_stream, nullptr, &buffer, PA_STREAM_START_CORKED, nullptr,
                                   nullptr) < 0)
        return refused();
    const auto settled = [this] {
        if (m_released)
            return true;
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    };
    if (!m_connection.waitFor(settled))
        return QStringLiteral("The sound server did not answer for %1").arg(file);
    if (m_released)
        return {};
    if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return refused();
    return {};
}

void PulseSound::start()
{
    m_started = true;
    pa_operation *uncork = pa_stream_cork(m_stream, 0, nullptr, nullptr);
    if (!uncork) {
        giveUp(QStringLiteral("The sound server refused \"%1\": %2")
                   .arg(m_path, m_connection.lastError()));
        return;
    }
    // Asked together, answered in turn: the timing describes the stream once
    // it plays. Awaited briefly, so a server slow to take the start shows in
    // the delay reported rather than holding the windows. A server that
    // fails now fails the stream, which failure() then tells.
    pa_operation *timing = pa_stream_update_timing_info(m_stream, nullptr, nullptr);
    const bool timed = timing && m_connection.await(timing, StartTakenWithinMs);
    m_connection.await(uncork, timing ? 0 : StartTakenWithinMs);
    timeval now{};
    const qint64 nowUs = qint64(pa_timeval_load(pa_gettimeofday(&now)));
    const std::optional<qint64> heardAt = timed ? startHeardAtUs() : std::nullopt;
    m_startHeardUs = heardAt.value_or(nowUs) - nowUs / 1000 * 1000;
}

std::optional<qint64> PulseSound::startHeardAtUs() const
{
    const pa_timing_info *timing = pa_stream_get_timing_info(m_stream);
    if (!timing || timing->read_index_corrupt)
        return std::nullopt;
    // The sample the server reads next is heard after the output's latency
    // (what the output holds, and a hardware buffer or a remote speaker
    // behind it); the first sample was read that much of the sound before.
    // The server stamps its timing once it has taken it: one kept waiting
    // for a processor errs late, never early.
    const pa_usec_t read = pa_bytes_to_usec(uint64_t(std::max<int64_t>(timing->read_index, 0)),
                                            pa_stream_get_sample_spec(m_stream));
    return qint64(pa_timeval_load(&timing->timestamp)) + qint64(timing->sink_usec) - qint64(read);
}

void PulseSound::feed(size_t bytes)
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
                    static_cast<PulseSound *>(self)->m_played = success;
                    if (success)
                        pa_stream_disconnect(stream);
                },
                this);
            return;
        }
        bytes -= got;
    }
}

void PulseSound::streamChanged()
{
    m_connection.wake();
    if (pa_stream_get_state(m_stream) != PA_STREAM_FAILED || m_played || !m_failure.isEmpty())
        return;
    const QString reason = m_connection.lastError();
    m_failure =
        m_started
            ? QStringLiteral("The sound server stopped playing \"%1\": %2").arg(m_path, reason)
            : QStringLiteral("The sound server refused \"%1\": %2").arg(m_path, reason);
}

void PulseSound::release()
{
    m_released = true;
    m_connection.wake();
    if (m_drain) {
        if (pa_operation_get_state(m_drain) == PA_OPERATION_RUNNING)
            pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
        m_drain = nullptr;
    }
    if (!m_stream)
        return;
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(m_stream);
    if (state == PA_STREAM_CREATING) {
        pa_stream_set_state_callback(m_stream, dropWhenCreated, nullptr);
    } else {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(state))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    m_stream = nullptr;
}
