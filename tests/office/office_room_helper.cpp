// A room that reports a run to the exam office and then waits to be killed:
//
//   office_room_helper URI LOG_FOLDER ROOM COUNT
//
// Records "run started" and COUNT plays, prints "recorded" once they are in
// its journal, and sleeps.

#include "office/RoomReporter.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    SystemClock clock;
    RoomReporter reporter(
        {args[1], args[3], QStringLiteral("test"), args[2], 1000, 200, 600'000, 200}, clock);
    reporter.record({clock.now(), QStringLiteral("run started"), QStringLiteral("语文")});
    for (int i = 1; i <= args[4].toInt(); ++i)
        reporter.record({.at = clock.now(),
                         .kind = QStringLiteral("played"),
                         .second = QTime(8, 0).addSecs(i),
                         .delayMs = i,
                         .file = QStringLiteral("a.wav")});
    std::puts("recorded");
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
