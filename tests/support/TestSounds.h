#pragma once

#include <QString>

// Real WAV files for tests, written with libsndfile. Failures abort the test
// program: a fixture that is not what it claims must not pass for a finding.
namespace TestSounds {

// Silence of exactly this length (8 kHz mono, 16 bit); 0 gives a valid WAV
// file without samples.
void writeSilence(const QString &path, qint64 ms);
// A 1 kHz tone at half of full scale, as long, for a sound to be heard.
void writeTone(const QString &path, qint64 ms);
// Bytes that no decoder takes for sound.
void writeGarbage(const QString &path);

} // namespace TestSounds
