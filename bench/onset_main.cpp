#include "onset.h"

#include <QCoreApplication>
#include <QTextStream>
#include <time.h>

qint64 Onset::wallMicros()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const QString step = arguments.value(0);
    bool valid = false;
    if (step == QLatin1String("record") && arguments.size() == 2)
        return Onset::record(arguments.at(1));
    const bool withLog = arguments.size() == 4 && arguments.at(3) == QLatin1String("log");
    if (step == QLatin1String("run") && (arguments.size() == 3 || withLog)) {
        const int lead = arguments.at(2).toInt(&valid);
        if (valid && lead > 0)
            return Onset::run(arguments.at(1), lead, withLog);
    }
    if (step == QLatin1String("analyse") && arguments.size() == 3) {
        const qint64 block = arguments.at(2).toLongLong(&valid);
        if (valid && block >= 0)
            return Onset::analyse(arguments.at(1), block);
    }
    QTextStream(stderr) << "usage: tessivox-bench-onset record FOLDER < s16le-mono-pcm\n"
                           "       tessivox-bench-onset run FOLDER LEAD_SECONDS [log]\n"
                           "       tessivox-bench-onset analyse FOLDER SINK_BLOCK_USEC\n";
    return 2;
}
