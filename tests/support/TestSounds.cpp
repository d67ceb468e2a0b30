#include "TestSounds.h"
#include "run/SoundFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int Rate = 8000;

void makeFolder(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        qFatal("TestSounds: cannot make the folder of %s", qPrintable(path));
}

void writeSamples(const QString &path, const std::vector<short> &samples)
{
    makeFolder(path);
    SF_INFO info{0, Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *file = openSoundFile(path, SFM_WRITE, &info);
    if (!file)
        qFatal("TestSounds: %s: %s", qPrintable(path), sf_strerror(nullptr));
    const sf_count_t written = sf_write_short(file, samples.data(), sf_count_t(samples.size()));
    if (sf_close(file) != 0 || written != sf_count_t(samples.size()))
        qFatal("TestSounds: cannot write %s", qPrintable(path));
}

} // namespace

namespace TestSounds {

void writeSilence(const QString &path, qint64 ms)
{
    writeSamples(path, std::vector<short>(size_t(ms * Rate / 1000)));
}

void writeTone(const QString &path, qint64 ms)
{
    std::vector<short> samples(size_t(ms * Rate / 1000));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short(std::lround(16384 * std::sin(2 * M_PI * 1000 * double(i) / Rate)));
    writeSamples(path, samples);
}

void writeGarbage(const QString &path)
{
    makeFolder(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(4096, 'x')) != 4096)
        qFatal("TestSounds: cannot write %s", qPrintable(path));
}

} // namespace TestSounds
