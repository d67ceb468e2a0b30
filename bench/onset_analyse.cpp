#include "onset.h"

#include "run/SoundFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <sndfile.h>
#include <vector>

// Tying samples to the wall clock
//
// The recorder stamps each read of the monitor on arrival; with parec asking
// for 2 ms, one read is one block of the null sink, B long (the sink's
// configured latency). The sink mixes a block when its play position reaches
// the block's start and hands it on at once, so for a read that ends at
// sample n, arrival - n / Rate is the moment sample 0 stood at the play
// position, minus B, plus the delivery (server, parec, pipe). The smallest
// such offset near a sample, plus B, places the sample on the wall clock.
//
// Checked against the server's own account: bursts on one continuous stream,
// whose play times PulseAudio reports through the stream's latency, were
// placed 1.8 to 2.3 ms early without B (B = 2.0 ms), so within about 0.3 ms
// with it. Only the 2 ms setting was checked; with 10 ms reads the placement
// is off by several milliseconds.
//
// The sink's position does not advance at exactly Rate of the wall clock (it
// gained about 0.4 ms a second here), so the offset is taken within a quarter
// of a second on either side of the onset and the two sides averaged, which
// cancels a steady drift.
//
// A sound started while the sink has mixed ahead makes it take that back and
// mix it anew with the sound (the server's log says "Rewound 212 bytes"); the
// recording keeps what it had received of the old mix, so the burst comes
// out in it that much into itself, though the sink played it from its first
// sample (the stream's read index says so). The burst's ramp tells how much,
// and the onset is that much earlier.

namespace {

constexpr qint64 WindowSamples = Onset::Rate / 4;
// About -30 dBFS; the bursts start at -18 dBFS, silence is exact zeros.
constexpr int Threshold = 1000;
// Well above the drift between the two sides of the window.
constexpr double DoubtfulStepMicros = 500;
// How long a quiet stretch separates two sounds.
constexpr qint64 QuietSamples = Onset::Rate / 10;

struct Arrival
{
    qint64 micros;
    qint64 samples;
};

struct Instruction
{
    int number;
    qint64 target;
    qint64 tick;
    qint64 called;
    qint64 returned;
    qint64 heard;
    int plays;
};

template <typename T> std::vector<T> readBinary(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<T> values(size_t(bytes.size()) / sizeof(T));
    std::memcpy(values.data(), bytes.constData(), values.size() * sizeof(T));
    return values;
}

std::vector<Instruction> readInstructions(const QString &path)
{
    QFile file(path);
    std::vector<Instruction> result;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return result;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(' ', Qt::SkipEmptyParts);
        if (fields.size() == 7)
            result.push_back({fields[0].toInt(), fields[1].toLongLong(), fields[2].toLongLong(),
                              fields[3].toLongLong(), fields[4].toLongLong(),
                              fields[5].toLongLong(), fields[6].toInt()});
    }
    return result;
}

class SampleClock
{
public:
    SampleClock(const std::vector<qint64> &raw, qint64 sinkBlockUs) : m_sinkBlock(sinkBlockUs)
    {
        for (size_t i = 0; i + 1 < raw.size(); i += 2)
            m_arrivals.push_back({raw[i], raw[i + 1] / 2});
    }

    bool isEmpty() const { return m_arrivals.empty(); }

    struct Placement
    {
        // When the sample stood at the sink's play position.
        double micros;
        // How far the two sides disagree beyond the drift: samples lost or
        // doubled around the onset, which makes its placement doubtful.
        double step;
    };

    Placement place(qint64 sample) const
    {
        constexpr double None = std::numeric_limits<double>::max();
        double before = None;
        double after = None;
        for (const Arrival &arrival : m_arrivals) {
            const qint64 distance = arrival.samples - sample;
            if (std::abs(distance) > WindowSamples)
                continue;
            double &side = distance <= 0 ? before : after;
            side = std::min(side, double(arrival.micros) - toMicros(arrival.samples));
        }
        if (before == None)
            before = after;
        if (after == None)
            after = before;
        return {(before + after) / 2 + double(m_sinkBlock) + toMicros(sample),
                std::abs(after - before)};
    }

    // Roughly the sample at a wall-clock moment: the one arriving then.
    qint64 sampleAt(qint64 micros) const
    {
        const auto next = std::lower_bound(
            m_arrivals.begin(), m_arrivals.end(), micros,
            [](const Arrival &arrival, qint64 moment) { return arrival.micros < moment; });
        const Arrival &arrival = next == m_arrivals.end() ? m_arrivals.back() : *next;
        return arrival.samples - (arrival.micros - micros) * Onset::Rate / 1'000'000;
    }

private:
    static double toMicros(qint64 sample) { return double(sample) * 1e6 / Onset::Rate; }

    qint64 m_sinkBlock;
    std::vector<Arrival> m_arrivals;
};

// The first loud sample in [from, to), or -1.
qint64 firstLoud(const std::vector<qint16> &pcm, qint64 from, qint64 to)
{
    from = std::clamp<qint64>(from, 0, qint64(pcm.size()));
    to = std::clamp<qint64>(to, from, qint64(pcm.size()));
    const auto loud = std::find_if(pcm.begin() + from, pcm.begin() + to,
                                   [](qint16 sample) { return std::abs(sample) > Threshold; });
    return loud == pcm.begin() + to ? -1 : qint64(loud - pcm.begin());
}

// How many of the burst's first samples the recording missed, or -1 when
// it does not begin within the burst's ramp.
qint64 missedAtStart(const std::vector<qint16> &pcm, qint64 onset)
{
    const int offset = pcm[size_t(onset)] - Onset::RampFrom;
    const int missed = offset / Onset::RampStep;
    const bool inRamp = offset >= 0 && offset % Onset::RampStep == 0 &&
                        missed < Onset::RampSamples - 1 && size_t(onset) + 1 < pcm.size() &&
                        pcm[size_t(onset) + 1] == pcm[size_t(onset)] + Onset::RampStep;
    return inRamp ? missed : -1;
}

int soundsHeard(const std::vector<qint16> &pcm)
{
    int sounds = 0;
    qint64 quiet = QuietSamples;
    for (const qint16 sample : pcm) {
        if (std::abs(sample) <= Threshold) {
            ++quiet;
            continue;
        }
        if (quiet >= QuietSamples)
            ++sounds;
        quiet = 0;
    }
    return sounds;
}

// The delays the run log wrote for its plays, by the second played, when
// the run kept one.
std::map<QString, double> loggedDelays(const QString &folder)
{
    std::map<QString, double> delays;
    const QDir logs(folder + QStringLiteral("/run-log"));
    for (const QString &name : logs.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile file(logs.filePath(name));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
            if (fields.size() >= 4 && fields[1] == QLatin1String("played"))
                delays.emplace(fields[2], fields[3].section(QLatin1Char(' '), 0, 0).toDouble());
        }
    }
    return delays;
}

double milliseconds(double micros)
{
    return micros / 1000;
}

// Nearest rank.
double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(fraction * double(values.size())));
    return values[std::max<size_t>(rank, 1) - 1];
}

} // namespace

namespace {

// Where the file itself first grows loud, in microseconds from its start (a
// spoken file begins with a breath of quiet); -1 when it cannot be read.
double loudFromUs(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = openSoundFile(path, SFM_READ, &info);
    if (!file)
        return -1;
    std::vector<short> frames(size_t(4096 * info.channels));
    qint64 frame = 0;
    for (sf_count_t read; (read = sf_readf_short(file, frames.data(), 4096)) > 0;) {
        const auto loud = std::find_if(frames.begin(), frames.begin() + read * info.channels,
                                       [](short sample) { return std::abs(sample) > Threshold; });
        if (loud != frames.begin() + read * info.channels) {
            sf_close(file);
            return double(frame + (loud - frames.begin()) / info.channels) * 1e6 / info.samplerate;
        }
        frame += read;
    }
    sf_close(file);
    return 0;
}

} // namespace

int Onset::heard(const QString &folder, qint64 sinkBlockUs, qint64 secondUs,
                 const QString &soundFile)
{
    const std::vector<qint16> pcm = readBinary<qint16>(folder + '/' + RecordingFile);
    const SampleClock clock(readBinary<qint64>(folder + '/' + ArrivalsFile), sinkBlockUs);
    if (pcm.empty() || clock.isEmpty()) {
        std::fprintf(stderr, "onset heard: %s holds no recording\n", qPrintable(folder));
        return 1;
    }
    const qint64 around = clock.sampleAt(secondUs);
    const qint64 onset = firstLoud(pcm, around - Rate, around + Rate);
    if (onset < 0) {
        std::printf("onset heard: nothing within a second of it\n");
        return 1;
    }
    const double lead = soundFile.isEmpty() ? 0 : loudFromUs(soundFile);
    if (lead < 0) {
        std::printf("onset heard: %s cannot be read\n", qPrintable(soundFile));
        return 1;
    }
    const SampleClock::Placement placement = clock.place(onset);
    // The delay first, alone, for the scripts that compare it.
    std::printf("%.1f ms (the recording jumps by %.1f ms there; the file is loud from %.1f ms)\n",
                milliseconds(placement.micros - lead - double(secondUs)),
                milliseconds(placement.step), milliseconds(lead));
    return placement.step > DoubtfulStepMicros ? 1 : 0;
}

int Onset::analyse(const QString &folder, qint64 sinkBlockUs)
{
    const std::vector<qint16> pcm = readBinary<qint16>(folder + '/' + RecordingFile);
    const SampleClock clock(readBinary<qint64>(folder + '/' + ArrivalsFile), sinkBlockUs);
    const std::vector<Instruction> instructions = readInstructions(folder + '/' + InstructionsFile);
    if (pcm.empty() || clock.isEmpty() || instructions.empty()) {
        std::fprintf(stderr, "onset analyse: %s holds no recording or no instructions\n",
                     qPrintable(folder));
        return 1;
    }

    bool complete = true;
    std::vector<double> errors;
    const std::map<QString, double> logged = loggedDelays(folder);
    // How far the delay the log wrote is from the one heard at the sink.
    std::vector<double> logErrors;
    // How much less than the sink heard the log said, at most: it should
    // never say less.
    double logShort = 0;
    for (const Instruction &instruction : instructions) {
        const qint64 around = clock.sampleAt(instruction.target);
        const qint64 onset = firstLoud(pcm, around - Rate, around + Rate);
        if (instruction.plays != 1 || onset < 0) {
            std::printf("onset instruction %d: played %d times, %s\n", instruction.number,
                        instruction.plays, onset < 0 ? "not heard" : "heard");
            complete = false;
            continue;
        }
        const SampleClock::Placement placement = clock.place(onset);
        if (placement.step > DoubtfulStepMicros) {
            std::printf("onset instruction %d: the recording jumps by %.1f ms there\n",
                        instruction.number, milliseconds(placement.step));
            complete = false;
        }
        const qint64 missed = missedAtStart(pcm, onset);
        if (missed < 0) {
            std::printf("onset instruction %d: the recording does not begin within the burst's "
                        "ramp\n",
                        instruction.number);
            complete = false;
        }
        const double error = placement.micros - double(std::max<qint64>(missed, 0)) * 1e6 / Rate -
                             double(instruction.target);
        errors.push_back(std::abs(error));
        const auto log = logged.find(QDateTime::fromMSecsSinceEpoch(instruction.target / 1000)
                                         .time()
                                         .toString(QStringLiteral("HH:mm:ss")));
        QString inLog;
        if (log != logged.end()) {
            logErrors.push_back(std::abs(milliseconds(error) - log->second));
            logShort = std::max(logShort, milliseconds(error) - log->second);
            inLog = QStringLiteral(", run log %1%2 ms")
                        .arg(log->second < 0 ? QString() : QStringLiteral("+"))
                        .arg(log->second);
        }
        std::printf("onset instruction %d: %+.1f ms (recorded from its sample %lld; tick %+.1f, "
                    "play() called %+.1f, returned %+.1f, heard by the device's account "
                    "%+.1f%s)\n",
                    instruction.number, milliseconds(error), missed,
                    milliseconds(double(instruction.tick - instruction.target)),
                    milliseconds(double(instruction.called - instruction.target)),
                    milliseconds(double(instruction.returned - instruction.target)),
                    milliseconds(double(instruction.heard - instruction.target)),
                    qPrintable(inLog));
    }
    const int heard = soundsHeard(pcm);
    if (heard != int(instructions.size())) {
        std::printf("onset: %d sounds heard for %zu instructions\n", heard, instructions.size());
        complete = false;
    }
    if (!errors.empty())
        std::printf("onset p50 %.1f ms p99 %.1f ms max %.1f ms\n",
                    milliseconds(percentile(errors, 0.5)), milliseconds(percentile(errors, 0.99)),
                    milliseconds(*std::max_element(errors.begin(), errors.end())));
    if (!logErrors.empty())
        std::printf("onset run log against the sink: %zu plays, difference p50 %.1f ms p99 %.1f "
                    "ms, largest %.1f ms; the log said up to %.1f ms less\n",
                    logErrors.size(), percentile(logErrors, 0.5), percentile(logErrors, 0.99),
                    *std::max_element(logErrors.begin(), logErrors.end()), logShort);
    return complete ? 0 : 1;
}
