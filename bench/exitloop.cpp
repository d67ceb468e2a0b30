// The program that bench/exitloop starts again and again: it plays a sound
// on the real device whenever a line "play" comes in on standard input and
// answers "played" or "failed: " and the device's reason; at "quit" or the
// end of its input it exits, the sound still playing, as the program does
// when a run is stopped and the main window closed at once.

#include "run/SoundDevice.h"
#include "run/SoundFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <sndfile.h>
#include <unistd.h>
#include <vector>

namespace {

// Two seconds of a 1 kHz tone: long enough to be cut by the server's kill
// and to be playing still at the exit.
bool writeTone(const QString &path)
{
    constexpr int Rate = 44100;
    SF_INFO info{0, Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *file = openSoundFile(path, SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> samples(2 * Rate);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.5f * float(std::sin(2 * M_PI * 1000 * double(i) / Rate));
    const bool written = sf_writef_float(file, samples.data(), sf_count_t(samples.size())) ==
                         sf_count_t(samples.size());
    sf_close(file);
    return written;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        QTextStream(stderr) << "usage: tessivox-bench-exitloop FOLDER\n";
        return 2;
    }
    const QString tone = app.arguments().at(1) + QStringLiteral("/tone.wav");
    if (!writeTone(tone)) {
        QTextStream(stderr) << tone << ": cannot write\n";
        return 1;
    }

    SoundDevice device;
    device.setFileName(tone);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char line[64] = {};
        const ssize_t length = read(STDIN_FILENO, line, sizeof line - 1);
        if (length <= 0 || qstrncmp(line, "quit", 4) == 0) {
            QCoreApplication::quit();
            return;
        }
        device.open();
        device.play();
        const QString failure = device.playFailure();
        std::printf("%s\n", failure.isEmpty() ? "played" : qPrintable("failed: " + failure));
        std::fflush(stdout);
    });
    return QCoreApplication::exec();
}
