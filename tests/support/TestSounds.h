#pragma once

#include <QString>

// Real WAV files for tests, written with libsndfile. Failures abort the test
// program: a fixture that is not what it claims must not pass for a finding.
namespace TestSounds {

// Silence of exactly this length (8 kHz mono, 16 bit); 0 gives a valid WAV
// file without samples.
void writeSilence(const QString &path, qint64 ms);
// A loud 440 Hz tone of this length, in the same format.
void writeTone(const QString &path, qint64 ms);
// Bytes that no decoder takes for sound.
void writeGarbage(const QString &path);

} // namespace TestSounds
