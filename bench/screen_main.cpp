// The candidates' screen at each screen the platform offers (bench/screen
// offers a projector's 1024x768, 1920x1080 and a 4K panel): what one second's
// change of the clock and the countdown costs to paint, and with --save
// FOLDER its pictures, with the clock and with a spoken explanation. Then ten
// seconds on the real clock: how long after each second the clock turned.
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

namespace {

constexpr int Seconds = 60;

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

// Milliseconds from each second to the clock's turning, over ten seconds of
// the wall clock; negative when it turned early.
QList<int> turnings(const RegionalFormats &formats)
{
    const SystemClock clock;
    CandidateScreen screen(clock, formats, QStringLiteral("1"));
    showExam(screen);
    QList<int> after;
    // Connected after the screen's own handler: the text has just changed.
    QObject::connect(screen.secondTimer, &Timer::timeout, [&after] {
        const int ms = QTime::currentTime().msec();
        after.append(ms < 500 ? ms : ms - 1000);
    });
    QTimer::singleShot(10'500, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    std::sort(after.begin(), after.end());
    return after;
}

} // namespace

int main(int argc, char **argv)
{
    Application app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype saveAt = arguments.indexOf(QStringLiteral("--save"));
    const QString folder =
        saveAt > 0 && saveAt + 1 < arguments.size() ? arguments.at(saveAt + 1) : "";

    FakeClock clock(QDateTime(QDate(2026, 6, 7), QTime(10, 48, 27)));
    const RegionalFormats formats(QLocale(QLocale::Chinese, QLocale::China));
    QTextStream out(stdout);
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QSize size = screens.at(i)->size();
        CandidateScreen screen(clock, formats, QString::number(i + 1));
        showExam(screen);
        const QString name = QStringLiteral("%1/candidate-screen-%2x%3")
                                 .arg(folder)
                                 .arg(size.width())
                                 .arg(size.height());
        // Taken from the window as painted a minute on, a few characters at a time.
        const auto save = [&](const QString &file) {
            if (!folder.isEmpty())
                screens.at(i)->grabWindow(screen.winId()).save(file);
        };
        const double clockCost = costPerSecond(screen, clock);
        save(name + QStringLiteral(".png"));
        screen.speak(
            QStringLiteral("考生请注意：\r\n现在分发试卷，请先在答题卡上填写姓名和准考证号，"
                           "\r\n听到开考信号后方可答题。"),
            12000);
        const double explanationCost = costPerSecond(screen, clock);
        save(name + QStringLiteral("-explanation.png"));
        out << QStringLiteral("screen %1x%2: %3 ms CPU a second with the clock, %4 with an "
                              "explanation\n")
                   .arg(size.width())
                   .arg(size.height())
                   .arg(clockCost, 0, 'f', 3)
                   .arg(explanationCost, 0, 'f', 3);
    }
    const QList<int> after = turnings(formats);
    if (after.isEmpty())
        return 1;
    out << QStringLiteral("clock: turned %1 times, %2 ms after the second at the median, %3 "
                          "to %4 ms\n")
               .arg(after.size())
               .arg(after.at(after.size() / 2))
               .arg(after.first())
               .arg(after.last());
    return 0;
}
