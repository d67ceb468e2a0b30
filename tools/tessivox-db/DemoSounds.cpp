#include "DemoSounds.h"
#include "run/SoundFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <sndfile.h>
#include <stdexcept>

namespace {

constexpr int SampleRate = 16000;
constexpr double ToneSeconds = 1.5;
// Ramps keep the tone from starting and stopping with a click.
constexpr double RampSeconds = 0.02;
// A WAV header alone is 44 bytes; anything that small carries no speech.
constexpr qint64 EmptyWavSize = 44;

std::runtime_error failure(const QString &text)
{
    return std::runtime_error(text.toStdString());
}

} // namespace

DemoSounds::DemoSounds(QString folder)
    : m_folder(std::move(folder)),
      m_espeak(QStandardPaths::findExecutable(QStringLiteral("espeak-ng"))),
      m_spoken(!m_espeak.isEmpty())
{
    if (!QDir().mkpath(m_folder))
        throw failure(m_folder + QStringLiteral(": cannot create the folder"));
}

void DemoSounds::write(const QString &fileName, const QString &text, double toneHz)
{
    const QString path = QDir(m_folder).filePath(fileName);
    if (m_spoken && speak(path, text))
        return;
    m_spoken = false;
    writeTone(path, toneHz);
}

bool DemoSounds::speak(const QString &path, const QString &text) const
{
    QProcess espeak;
    espeak.start(m_espeak,
                 {QStringLiteral("-v"), QStringLiteral("cmn"), QStringLiteral("-w"), path, text});
    if (!espeak.waitForFinished(60000)) {
        espeak.kill();
        espeak.waitForFinished();
        return false;
    }
    return espeak.exitStatus() == QProcess::NormalExit && espeak.exitCode() == 0 &&
           QFileInfo(path).size() > EmptyWavSize;
}

void DemoSounds::writeTone(const QString &path, double hz)
{
    SF_INFO info{};
    info.samplerate = SampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = openSoundFile(path, SFM_WRITE, &info);
    if (!file)
        throw failure(path + QStringLiteral(": ") + QString::fromLocal8Bit(sf_strerror(nullptr)));

    const int frames = int(SampleRate * ToneSeconds);
    const int ramp = int(SampleRate * RampSeconds);
    QVector<short> samples(frames);
    for (int i = 0; i < frames; ++i) {
        const double envelope = std::min({1.0, double(i) / ramp, double(frames - 1 - i) / ramp});
        const double wave = std::sin(2 * std::numbers::pi * hz * i / SampleRate);
        samples[i] = short(std::lround(0.5 * 32767 * envelope * wave));
    }
    const sf_count_t written = sf_write_short(file, samples.data(), frames);
    const QString error = QString::fromLocal8Bit(sf_strerror(file));
    if (sf_close(file) != 0 || written != frames)
        throw failure(path + QStringLiteral(": ") + error);
}
