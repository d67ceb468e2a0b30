// The candidates' screen at each screen the platform offers (bench/screen
// offers a projector's 1024x768, 1920x1080 and a 4K panel): what one second's
// change of the clock and the countdown costs to paint, and with --save
// FOLDER its pictures, with the clock and with a spoken explanation. Then
// twenty seconds on the real clock: how long after each second the clock
// turned, and the wake-ups and CPU time a second of the user-interface thread.
#include "app/Application.h"
#include "platform/Clock.h"
#include "platform/RegionalFormats.h"
#include "platform/Timer.h"
#include "support/FakeClock.h"
#include "ui/screen/CandidateScreen.h"

#include <QDir>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <sys/resource.h>

namespace {

constexpr int Seconds = 60;
// On the real clock: the first seconds draw each digit once, which later
// seconds only copy.
constexpr int WarmUpSeconds = 10;
constexpr int MeasuredSeconds = 10;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Ticks a minute through as the second timer would, each change painted and
// flushed as the event loop does it; milliseconds of CPU per second.
double costPerSecond(CandidateScreen &screen, FakeClock &clock)
{
    QCoreApplication::processEvents();
    const double start = threadCpuMs();
    for (int i = 0; i < Seconds; ++i) {
        clock.advance(1000);
        emit screen.secondTimer->timeout();
        QCoreApplication::processEvents();
    }
    return (threadCpuMs() - start) / Seconds;
}

void showExam(CandidateScreen &screen)
{
    screen.showExam(QStringLiteral("第一中学 2026年高三第二次模拟考试"), QStringLiteral("语文"),
                    QDateTime(QDate(2026, 6, 7), QTime(8, 30)),
                    QDateTime(QDate(2026, 6, 7), QTime(11, 0)));
}

struct RealClockRun
{
    // Milliseconds from each second to the clock's turning, sorted; negative
    // when it turned early.
    QList<int> turnedAfter;
    double wakeUpsPerSecond = 0;
    double cpuMsPerSecond = 0;
};

long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// Twenty seconds on the wall clock, the counts from the tenth on.
RealClockRun onTheRealClock(const RegionalFormats &formats, const QString &screenNumber)
{
    const SystemClock clock;
    CandidateScreen screen(clock, formats, screenNumber);
    showExam(screen);
    RealClockRun run;
    double cpuFrom = 0;
    long switchesFrom = 0;
    // Connected after the screen's own handler: the text has just changed.
    QObject::connect(screen.secondTimer, &Timer::timeout, [&] {
        const int ms = QTime::currentTime().msec();
        run.turnedAfter.append(ms < 500 ? ms : ms - 1000);
        if (run.turnedAfter.size() == WarmUpSeconds) {
            cpuFrom = threadCpuMs();
            switchesFrom = voluntarySwitches();
        }
    });
    QTimer::singleShot((WarmUpSeconds + MeasuredSeconds) * 1000 + 500, QCoreApplication::instance(),
                       &QCoreApplication::quit);
    QCoreApplication::exec();
    const qsizetype seconds = run.turnedAfter.size() - WarmUpSeconds;
    if (seconds > 0) {
        // The quit's own wake-up is not the screen's.
        run.wakeUpsPerSecond = double(voluntarySwitches() - switchesFrom - 1) / double(seconds);
        run.cpuMsPerSecond = (threadCpuMs() - cpuFrom) / double(seconds);
    }
    std::sort(run.turnedAfter.begin(), run.turnedAfter.end());
    return run;
}

// A minute of the clock, then one with an explanation, on a simulated clock;
// the pictures, and the CPU time a second of painting.
void simulate(QScreen &on, const QString &number, const RegionalFormats &formats,
              const QString &folder, QTextStream &out)
{
    FakeClock clock(QDateTime(QDate(2026, 6, 7), QTime(10, 50, 27)));
    const QSize size = on.size();
    CandidateScreen screen(clock, formats, number);
    showExam(screen);
    const QString name = QStringLiteral("%1/candidate-screen-%2x%3")
                             .arg(folder)
                             .arg(size.width())
                             .arg(size.height());
    // Taken from the window as painted a minute on, a few characters at a time.
    const auto save = [&](const QString &file) {
        if (!folder.isEmpty())
            on.grabWindow(screen.winId()).save(file);
    };
    const double clockCost = costPerSecond(screen, clock);
    save(name + QStringLiteral(".png"));
    screen.speak(QStringLiteral("考生请注意：\r\n现在分发试卷，请先在答题卡上填写姓名和准考证号，"
                                "\r\n听到开考信号后方可答题。"),
                 12000);
    const double explanationCost = costPerSecond(screen, clock);
    save(name + QStringLiteral("-explanation.png"));
    out << QStringLiteral("screen %1x%2, simulated: %3 ms CPU a second with the clock, %4 "
                          "with an explanation\n")
               .arg(size.width())
               .arg(size.height())
               .arg(clockCost, 0, 'f', 3)
               .arg(explanationCost, 0, 'f', 3);
}

} // namespace

int main(int argc, char **argv)
{
    Application app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype saveAt = arguments.indexOf(QStringLiteral("--save"));
    const QString folder =
        saveAt > 0 && saveAt + 1 < arguments.size() ? arguments.at(saveAt + 1) : "";

    const RegionalFormats formats(QLocale(QLocale::Chinese, QLocale::China));
    QTextStream out(stdout);
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QSize size = screens.at(i)->size();
        simulate(*screens.at(i), QString::number(i + 1), formats, folder, out);
        const RealClockRun run = onTheRealClock(formats, QString::number(i + 1));
        const QList<int> &after = run.turnedAfter;
        if (after.isEmpty())
            return 1;
        out << QStringLiteral("screen %1x%2, real clock: turned %3 ms after the second at the "
                              "median (%4 to %5 ms); %6 wake-ups and %7 ms CPU a second\n")
                   .arg(size.width())
                   .arg(size.height())
                   .arg(after.at(after.size() / 2))
                   .arg(after.first())
                   .arg(after.last())
                   .arg(run.wakeUpsPerSecond, 0, 'f', 1)
                   .arg(run.cpuMsPerSecond, 0, 'f', 3);
        out.flush();
    }
    return 0;
}
