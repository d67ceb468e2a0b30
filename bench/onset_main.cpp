#include "onset.h"

#include "app/Application.h"

#include <QCoreApplication>
#include <QTextStream>
#include <chrono>
#include <cstring>
#include <memory>

qint64 Onset::wallMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

int main(int argc, char *argv[])
{
    const bool window = argc == 6 && std::strcmp(argv[5], "window") == 0;
    // The windows need the widgets' application; the rest must not need a display.
    const std::unique_ptr<QCoreApplication> app =
        window ? std::make_unique<Application>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    const QStringList arguments = app->arguments().mid(1);
    const QString step = arguments.value(0);
    bool valid = false;
    if (step == QLatin1String("record") && arguments.size() == 2)
        return Onset::record(arguments.at(1));
    const bool withLog = arguments.size() == 5 && arguments.at(4) == QLatin1String("log");
    if (step == QLatin1String("run") && (arguments.size() == 4 || withLog || window)) {
        const int lead = arguments.at(2).toInt(&valid);
        bool countValid = false;
        const int count = arguments.at(3).toInt(&countValid);
        const Onset::Mode mode = window    ? Onset::Mode::Window
                                 : withLog ? Onset::Mode::Logged
                                           : Onset::Mode::Scheduler;
        if (valid && lead > 0 && countValid && count > 0)
            return Onset::run(arguments.at(1), lead, count, mode);
    }
    if (step == QLatin1String("analyse") && arguments.size() == 3) {
        const qint64 block = arguments.at(2).toLongLong(&valid);
        if (valid && block >= 0)
            return Onset::analyse(arguments.at(1), block);
    }
    if (step == QLatin1String("heard") && (arguments.size() == 4 || arguments.size() == 5)) {
        const qint64 block = arguments.at(2).toLongLong(&valid);
        bool secondValid = false;
        const qint64 second = arguments.at(3).toLongLong(&secondValid);
        if (valid && block >= 0 && secondValid)
            return Onset::heard(arguments.at(1), block, second, arguments.value(4));
    }
    QTextStream(stderr)
        << "usage: tessivox-bench-onset record FOLDER < s16le-mono-pcm\n"
           "       tessivox-bench-onset run FOLDER LEAD_SECONDS COUNT [log|window]\n"
           "       tessivox-bench-onset analyse FOLDER SINK_BLOCK_USEC\n"
           "       tessivox-bench-onset heard FOLDER SINK_BLOCK_USEC SECOND_USEC [SOUND_FILE]\n";
    return 2;
}
