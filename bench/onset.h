#pragma once

#include <QString>
#include <QtGlobal>

// The three steps of the onset benchmark, which hand each other their data
// through one folder: the recording of the sink's monitor with the moment
// each piece of it arrived, and the instructions with their seconds.
namespace Onset {

// The recording is mono s16le at the sink's rate; the sounds use it too, so
// that nothing is resampled on the way.
constexpr int Rate = 44100;

// Each burst opens with a ramp whose every sample is distinct. A sink that
// takes back what it mixed ahead, to start a sound sooner, mixes that stretch
// anew, and its monitor's recording misses the new part (up to a block): the
// burst is then recorded from a sample within the ramp, which tells how many
// were missed.
constexpr int RampSamples = 176;
constexpr int RampFrom = 4000;
constexpr int RampStep = 64;

inline const QString RecordingFile = QStringLiteral("recording.raw");
inline const QString ArrivalsFile = QStringLiteral("arrivals.bin");
inline const QString InstructionsFile = QStringLiteral("instructions.txt");

// Microseconds since the epoch on the clock the scheduler reads.
qint64 wallMicros();

// Copies raw samples from standard input into the folder until it ends.
int record(const QString &folder);
enum class Mode
{
    // The scheduler and the real device alone.
    Scheduler,
    // The same, keeping a run log in the folder as the run window does.
    Logged,
    // The main and run windows of the program.
    Window
};

// Plays a subject of count instructions two seconds apart, its first about
// leadSeconds ahead, through the real device; prints what the process did
// between them.
int run(const QString &folder, int leadSeconds, int count, Mode mode);
// Prints each instruction's onset error and their spread; sinkBlockUs is
// the sink's configured latency while it was recorded.
int analyse(const QString &folder, qint64 sinkBlockUs);
// Prints how long after secondUs (microseconds since the epoch) the first
// sound within a second of it was heard at the sink: the program's own runs,
// whose sounds are not the bursts. Given the sound file, what it holds
// before it first grows loud does not count.
int heard(const QString &folder, qint64 sinkBlockUs, qint64 secondUs, const QString &soundFile);

} // namespace Onset
