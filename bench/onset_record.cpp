#include "onset.h"

#include <QFile>
#include <QTextStream>
#include <cerrno>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

// Stamped on arrival, one entry per read: the stamps are what later ties the
// samples to the wall clock, so nothing happens between read and stamp.
int Onset::record(const QString &folder)
{
    QFile pcm(folder + '/' + RecordingFile);
    QFile arrivals(folder + '/' + ArrivalsFile);
    if (!pcm.open(QIODevice::WriteOnly) || !arrivals.open(QIODevice::WriteOnly)) {
        QTextStream(stderr) << folder << ": cannot write the recording\n";
        return 1;
    }
#ifdef _WIN32
    // In text mode a byte 26 among the samples would end the recording.
    _setmode(STDIN_FILENO, _O_BINARY);
#endif
    char buffer[1 << 16];
    qint64 total = 0;
    for (;;) {
        const ssize_t size = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size <= 0)
            break;
        const qint64 arrival = wallMicros();
        total += size;
        const qint64 entry[2] = {arrival, total};
        if (pcm.write(buffer, size) != size ||
            arrivals.write(reinterpret_cast<const char *>(entry), sizeof entry) != sizeof entry) {
            QTextStream(stderr) << folder << ": cannot write the recording\n";
            return 1;
        }
    }
    return 0;
}
