#include "run/WasapiSound.h"

#include "platform/WasapiDevices.h"
#include "run/FrameConverter.h"
#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include <audioclient.h>
#include <ksmedia.h>
#include <windows.h>

using WasapiDevices::ComPtr;

namespace {

// What the output holds of a sound ahead of its play position (in 100 ns
// units): filled before the start, so that playback starts with the call,
// then topped up every FeedEveryMs with this much room for a busy machine.
constexpr REFERENCE_TIME BufferHns = 2'000'000;
constexpr int FeedEveryMs = 10;
// How long start() waits for the output's clock to move: a local output
// moves within its period (10 ms), a busy one within a few; past this the
// sound counts as heard after the stream's latency.
constexpr int StartTakenWithinMs = 50;
constexpr qint64 HnsPerSecond = 10'000'000;
// Frames read from the file at a time.
constexpr qint64 ReadFrames = 4096;

enum class Encoding
{
    Float32,
    Int16,
    Int24,
    Int32,
    Unknown
};

Encoding encodingOf(const WAVEFORMATEX &format)
{
    bool isFloat = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    bool isInteger = format.wFormatTag == WAVE_FORMAT_PCM;
    if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        const auto &extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE &>(format);
        isFloat = IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
        isInteger = IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
    }
    if (isFloat && format.wBitsPerSample == 32)
        return Encoding::Float32;
    if (!isInteger)
        return Encoding::Unknown;
    switch (format.wBitsPerSample) {
    case 16:
        return Encoding::Int16;
    case 24:
        return Encoding::Int24;
    case 32:
        // Also 24 valid bits in 32: they are the upper ones.
        return Encoding::Int32;
    default:
        return Encoding::Unknown;
    }
}

void encode(const float *in, size_t samples, Encoding encoding, BYTE *out)
{
    if (encoding == Encoding::Float32) {
        std::memcpy(out, in, samples * sizeof(float));
        return;
    }
    const int bytes = encoding == Encoding::Int16 ? 2 : encoding == Encoding::Int24 ? 3 : 4;
    const double scale = std::ldexp(1.0, 8 * bytes - 1);
    for (size_t i = 0; i < samples; ++i) {
        const double value = std::clamp(double(in[i]) * scale, -scale, scale - 1);
        const auto integer = qint32(std::lrint(value));
        // Little-endian, the low bytes first.
        for (int b = 0; b < bytes; ++b)
            out[i * size_t(bytes) + size_t(b)] = BYTE(quint32(integer) >> (8 * b));
    }
}

qint64 nowHns()
{
    LARGE_INTEGER counter{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return qint64(counter.QuadPart / frequency.QuadPart * HnsPerSecond +
                  counter.QuadPart % frequency.QuadPart * HnsPerSecond / frequency.QuadPart);
}

// The system clock in microseconds since 1970.
qint64 systemUs()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const qint64 hns = qint64(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return (hns - 116'444'736'000'000'000LL) / 10;
}

bool lost(HRESULT result)
{
    return result == AUDCLNT_E_DEVICE_INVALIDATED || result == HRESULT(E_NOTFOUND);
}

} // namespace

struct WasapiSound::Stream
{
    ComPtr<IAudioClient> client;
    ComPtr<IAudioRenderClient> render;
    ComPtr<IAudioClock> clock;
    Encoding encoding = Encoding::Unknown;
    int rate = 0;
    int channels = 0;
    int bytesPerFrame = 0;
    UINT32 bufferFrames = 0;
    REFERENCE_TIME latencyHns = 0;
};

WasapiSound::WasapiSound(QString path) : m_path(std::move(path))
{
    m_since.start();
}

WasapiSound::~WasapiSound() = default;

void WasapiSound::readFile()
{
    std::unique_lock lock(m_mutex);
    if (m_fileSettled)
        return;
    lock.unlock();
    // Taken before the file is opened: a file replaced meanwhile then
    // counts as changed, never the other way round.
    const QFileInfo identity(m_path);
    std::unique_ptr<SoundFile> file;
    QString failure;
    try {
        file = std::make_unique<SoundFile>(m_path);
    } catch (const SoundError &error) {
        failure = error.text();
    }
    lock.lock();
    m_size = identity.exists() ? identity.size() : -1;
    m_modified = identity.lastModified();
    m_file = std::move(file);
    m_fileFailure = failure;
    m_fileSettled = true;
    m_changed.notify_all();
}

bool WasapiSound::freshFor(qint64 withinMs) const
{
    std::lock_guard lock(m_mutex);
    if (m_since.elapsed() > withinMs)
        return false;
    if (!m_fileSettled || !m_fileFailure.isEmpty())
        return true;
    const QFileInfo now(m_path);
    return now.exists() && now.size() == m_size && now.lastModified() == m_modified;
}

bool WasapiSound::handedOver() const
{
    std::lock_guard lock(m_mutex);
    return m_handedOver;
}

void WasapiSound::prepare()
{
    std::lock_guard lock(m_mutex);
    if (m_handedOver)
        return;
    m_handedOver = true;
    m_finished = false;
    m_since.start();
    std::thread([self = shared_from_this()] { self->run(); }).detach();
}

void WasapiSound::waitFinished(int withinMs) const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(withinMs), [this] { return m_finished; });
}

bool WasapiSound::waitFileSettled(int withinMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(withinMs),
                              [this] { return m_fileSettled; });
}

QString WasapiSound::fileFailure() const
{
    std::lock_guard lock(m_mutex);
    return m_fileFailure;
}

qint64 WasapiSound::lengthMs() const
{
    std::lock_guard lock(m_mutex);
    return m_file->lengthMs();
}

bool WasapiSound::waitSettled(int withinMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(std::max(withinMs, 0)),
                              [this] { return m_prepared || !m_failure.isEmpty(); });
}

bool WasapiSound::ready() const
{
    std::lock_guard lock(m_mutex);
    return m_prepared && m_failure.isEmpty() && m_stream && !m_released;
}

QString WasapiSound::failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

bool WasapiSound::outputLost() const
{
    std::lock_guard lock(m_mutex);
    return m_outputLost;
}

void WasapiSound::giveUp(const QString &reason)
{
    std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = reason;
    m_released = true;
    m_changed.notify_all();
}

bool WasapiSound::started() const
{
    std::lock_guard lock(m_mutex);
    return m_started;
}

qint64 WasapiSound::startHeardUs() const
{
    std::lock_guard lock(m_mutex);
    return m_startHeardUs;
}

void WasapiSound::release()
{
    std::lock_guard lock(m_mutex);
    m_released = true;
    // Silent at once; the thread lets go of the stream.
    if (m_stream)
        m_stream->client->Stop();
    m_changed.notify_all();
}

void WasapiSound::fail(const QString &reason, long result)
{
    m_outputLost = lost(result);
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("%1 \"%2\": %3")
                        .arg(reason, m_path,
                             m_outputLost ? QStringLiteral("the sound output was removed")
                                          : WasapiDevices::text(result));
    m_changed.notify_all();
}

void WasapiSound::run()
{
    WasapiDevices::Apartment com;
    readFile();
    const QString failure = fileFailure().isEmpty() ? makeStream() : fileFailure();
    std::unique_lock lock(m_mutex);
    if (!failure.isEmpty() && m_failure.isEmpty())
        m_failure = failure;
    if (m_stream && !m_released)
        fill();
    m_prepared = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_started || m_released; });
    if (m_stream && m_started)
        feed(lock);
    // Let go here, where COM is still open for it.
    if (m_stream)
        m_stream->client->Stop();
    m_stream.reset();
    m_finished = true;
    m_changed.notify_all();
}

QString WasapiSound::makeStream()
{
    const QString refused = QStringLiteral("The sound output refused \"%1\": %2");
    QString why;
    const ComPtr<IMMDevice> device = WasapiDevices::defaultOutput(why);
    if (!device)
        return QStringLiteral("Cannot play \"%1\": %2").arg(m_path, why);
    auto stream = std::make_unique<Stream>();
    HRESULT result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void **>(stream->client.GetAddressOf()));
    WAVEFORMATEX *mix = nullptr;
    if (SUCCEEDED(result))
        result = stream->client->GetMixFormat(&mix);
    if (FAILED(result)) {
        std::lock_guard lock(m_mutex);
        m_outputLost = lost(result);
        return refused.arg(m_path, WasapiDevices::text(result));
    }
    stream->encoding = encodingOf(*mix);
    const int bits = mix->wBitsPerSample;
    stream->rate = int(mix->nSamplesPerSec);
    stream->channels = mix->nChannels;
    stream->bytesPerFrame = mix->nBlockAlign;
    if (stream->encoding != Encoding::Unknown)
        result = stream->client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_NOPERSIST,
                                            BufferHns, 0, mix, nullptr);
    CoTaskMemFree(mix);
    if (stream->encoding == Encoding::Unknown)
        return QStringLiteral("Cannot play \"%1\": the sound output takes %2-bit samples in a form "
                              "this program does not write")
            .arg(m_path)
            .arg(bits);
    if (SUCCEEDED(result))
        result = stream->client->GetBufferSize(&stream->bufferFrames);
    if (SUCCEEDED(result))
        result = stream->client->GetService(IID_PPV_ARGS(stream->render.GetAddressOf()));
    if (SUCCEEDED(result))
        result = stream->client->GetService(IID_PPV_ARGS(stream->clock.GetAddressOf()));
    if (SUCCEEDED(result))
        result = stream->client->GetStreamLatency(&stream->latencyHns);
    std::lock_guard lock(m_mutex);
    if (FAILED(result)) {
        m_outputLost = lost(result);
        return refused.arg(m_path, WasapiDevices::text(result));
    }
    m_converter = std::make_unique<FrameConverter>(m_file->sampleRate(), m_file->channelCount(),
                                                   stream->rate, stream->channels);
    m_stream = std::move(stream);
    return {};
}

bool WasapiSound::fill()
{
    Stream &stream = *m_stream;
    UINT32 padding = 0;
    if (const HRESULT result = stream.client->GetCurrentPadding(&padding); FAILED(result)) {
        fail(m_started ? QStringLiteral("The sound output stopped playing")
                       : QStringLiteral("The sound output refused"),
             result);
        return false;
    }
    const size_t channels = size_t(stream.channels);
    const size_t room = stream.bufferFrames - padding;
    std::vector<float> read;
    while ((m_pending.size() - m_pendingAt) / channels < room && !m_fileEnded) {
        read.resize(size_t(ReadFrames * m_file->channelCount()));
        const qint64 bytes = m_file->read(reinterpret_cast<char *>(read.data()),
                                          qint64(read.size() * sizeof(float)));
        if (m_pendingAt > 0) {
            m_pending.erase(m_pending.begin(), m_pending.begin() + qsizetype(m_pendingAt));
            m_pendingAt = 0;
        }
        if (bytes > 0) {
            m_converter->push(read.data(), bytes / m_file->bytesPerFrame(), m_pending);
        } else {
            m_converter->finish(m_pending);
            m_fileEnded = true;
        }
    }
    const size_t frames = std::min(room, (m_pending.size() - m_pendingAt) / channels);
    BYTE *data = nullptr;
    if (frames > 0 && SUCCEEDED(stream.render->GetBuffer(UINT32(frames), &data))) {
        encode(m_pending.data() + m_pendingAt, frames * channels, stream.encoding, data);
        stream.render->ReleaseBuffer(UINT32(frames), 0);
        m_pendingAt += frames * channels;
    }
    return !m_fileEnded || m_pendingAt < m_pending.size();
}

void WasapiSound::feed(std::unique_lock<std::mutex> &lock)
{
    const auto every = std::chrono::milliseconds(FeedEveryMs);
    while (!m_released && m_failure.isEmpty()) {
        if (!fill()) {
            // Everything is handed over: it plays out what the output holds,
            // and then what lies behind it.
            UINT32 padding = 0;
            if (FAILED(m_stream->client->GetCurrentPadding(&padding)) || padding == 0) {
                m_changed.wait_for(lock, std::chrono::milliseconds(m_stream->latencyHns / 10'000),
                                   [this] { return m_released; });
                return;
            }
        }
        m_changed.wait_for(lock, every, [this] { return m_released; });
    }
}

void WasapiSound::start()
{
    ComPtr<IAudioClock> clock;
    REFERENCE_TIME latencyHns = 0;
    {
        std::lock_guard lock(m_mutex);
        m_started = true;
        m_changed.notify_all();
        const HRESULT result = m_stream->client->Start();
        if (FAILED(result)) {
            fail(QStringLiteral("The sound output refused"), result);
            m_released = true;
            return;
        }
        clock = m_stream->clock;
        latencyHns = m_stream->latencyHns;
    }
    // The output's clock tells the position heard at the speakers at a
    // moment of the performance counter; the first sample was heard that
    // much of the sound before. Until the position moves nobody can tell.
    // Wine's PulseAudio driver counts what it handed to the server, in whole
    // periods, and stamps the moment it is asked: that errs late (1 to 10 ms
    // behind the sink, measured), never early.
    UINT64 frequency = 0;
    UINT64 position = 0;
    UINT64 at = 0;
    const bool clocked = SUCCEEDED(clock->GetFrequency(&frequency)) && frequency > 0;
    QElapsedTimer waited;
    waited.start();
    while (clocked && SUCCEEDED(clock->GetPosition(&position, &at)) && position == 0 &&
           waited.elapsed() < StartTakenWithinMs)
        Sleep(1);
    const qint64 nowUs = systemUs();
    const qint64 now = nowHns();
    const qint64 heard =
        position > 0 ? qint64(at) - qint64(position * HnsPerSecond / frequency) : now + latencyHns;
    std::lock_guard lock(m_mutex);
    m_startHeardUs = nowUs + (heard - now) / 10 - nowUs / 1000 * 1000;
}
