#include "platform/Clock.h"
#include "platform/ThreadPriority.h"
#include "platform/Timer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <thread>
#ifdef Q_OS_LINUX
#include "platform/PulseConnection.h"
#endif
#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#ifdef Q_OS_LINUX
// The scheduling policy of each of the process's threads by name, as
// /proc tells it (the 41st field of a thread's stat).
static QHash<QString, int> threadPolicies()
{
    QHash<QString, int> policies;
    const QString tasks = QStringLiteral("/proc/self/task/");
    for (const QString &thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + thread + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype nameEnds = line.lastIndexOf(')');
        const QString name =
            QString::fromUtf8(line.mid(line.indexOf('(') + 1, nameEnds - line.indexOf('(') - 1));
        // Fields from the third on follow the name.
        policies.insert(name, line.mid(nameEnds + 2).split(' ').value(41 - 3).toInt());
    }
    return policies;
}
#endif

class TestTimer : public QObject
{
    Q_OBJECT

    QDateTime m_firedAt;

    // The time of the timer's first tick, which also stops it.
    const QDateTime &recordFirstTick(Timer &timer, const Clock &clock)
    {
        m_firedAt = {};
        connect(&timer, &Timer::timeout, &timer, [this, &timer, &clock] {
            m_firedAt = clock.now();
            timer.setInterval(0);
        });
        return m_firedAt;
    }

private slots:
    // An urgent timer's thread runs at realtime priority from the last
    // second before its deadline through the handler of its tick, and no
    // longer: a thread left there would hold up the whole machine.
    void anUrgentTimerRunsItsApproachAtRealtimePriority_data()
    {
        QTest::addColumn<bool>("urgent");
        QTest::addColumn<bool>("handlerStopsIt");
        QTest::addColumn<bool>("realtimeInHandler");
        QTest::newRow("urgent, stopped by its handler") << true << true << true;
        QTest::newRow("urgent, ticking on") << true << false << true;
        QTest::newRow("not urgent") << false << true << false;
    }
    void anUrgentTimerRunsItsApproachAtRealtimePriority()
    {
#ifdef Q_OS_LINUX
        sched_param priority{1};
        if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
            QSKIP("no right to realtime priorities here");
        priority.sched_priority = 0;
        sched_setscheduler(0, SCHED_OTHER, &priority);
        QFETCH(bool, urgent);
        QFETCH(bool, handlerStopsIt);
        SystemClock clock;
        Timer timer;
        timer.setUrgent(urgent);
        int policy = -1;
        connect(&timer, &Timer::timeout, &timer, [&] {
            if (policy != -1)
                return;
            policy = sched_getscheduler(0);
            if (handlerStopsIt)
                timer.setInterval(0);
        });
        timer.armAt(300, clock, clock.now().addMSecs(300));
        QTRY_VERIFY_WITH_TIMEOUT(policy != -1, 3000);
        QTEST((policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO, "realtimeInHandler");
        QCOMPARE(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, SCHED_OTHER);
#else
        QSKIP("realtime priorities are asked for on Linux only");
#endif
    }

    // Realtime is for the play path alone, and only around a second: a
    // thread started meanwhile (a pooled worker) does not inherit it, nor
    // the raised priority of the thread that plays, and the sound server
    // connection's thread goes realtime and back with the thread that plays.
    void realtimeStaysWithThePlayPath()
    {
#ifdef Q_OS_LINUX
        PulseConnection connection;
        QTRY_VERIFY(threadPolicies().contains("sound server"));
        QCOMPARE(threadPolicies().value("sound server"), SCHED_OTHER);
        ThreadPriority::raiseCurrent();
        ThreadPriority::realtimeCurrent(true);
        if ((sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) != SCHED_FIFO) {
            ThreadPriority::lowerCurrent();
            QSKIP("no right to realtime priorities here");
        }
        int startedPolicy = -1;
        int startedNice = -1;
        std::thread([&] {
            startedPolicy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
            startedNice = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
        }).join();
        const int serverWhileRealtime = threadPolicies().value("sound server");
        ThreadPriority::realtimeCurrent(false);
        ThreadPriority::lowerCurrent();
        QCOMPARE(startedPolicy, SCHED_OTHER);
        QCOMPARE(startedNice, 0);
        QCOMPARE(serverWhileRealtime, SCHED_FIFO);
        QCOMPARE(threadPolicies().value("sound server"), SCHED_OTHER);
#else
        QSKIP("the sound server's own connection is made on Linux only");
#endif
    }

    void zeroIsStoppedAndPeriodicOtherwise()
    {
        Timer timer(0);
        QSignalSpy ticks(&timer, &Timer::timeout);
        QTest::qWait(50);
        QCOMPARE(ticks.size(), 0);

        timer.setInterval(10);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 2000);

        timer.setInterval(0);
        QCOMPARE(timer.interval(), 0);
        const qsizetype stopped = ticks.size();
        QTest::qWait(50);
        QCOMPARE(ticks.size(), stopped);
    }

    void settingTheSameIntervalDoesNotRestart()
    {
        Timer timer(200);
        QSignalSpy ticks(&timer, &Timer::timeout);
        QElapsedTimer since;
        since.start();
        // Re-setting it every 50 ms must not keep pushing the tick away.
        while (ticks.isEmpty() && since.elapsed() < 2000) {
            timer.setInterval(200);
            QTest::qWait(50);
        }
        QCOMPARE(ticks.size(), 1);
    }

    void negativeIntervalsStop()
    {
        Timer timer(5);
        timer.setInterval(-3);
        QCOMPARE(timer.interval(), 0);
    }

    void aHandlerMaySetANewInterval()
    {
        Timer timer(5);
        QList<int> seen;
        connect(&timer, &Timer::timeout, &timer, [&] {
            seen << timer.interval();
            timer.setInterval(seen.size() < 3 ? 5 + int(seen.size()) : 0);
        });
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 3, 2000);
        QTest::qWait(30);
        QCOMPARE(seen, (QList<int>{5, 6, 7}));
        QCOMPARE(timer.interval(), 0);
    }

    void armedTimerNeverFiresBeforeItsDeadline()
    {
        SystemClock clock;
        Timer timer;
        const QDateTime &firedAt = recordFirstTick(timer, clock);
        const QDateTime deadline = clock.now().addMSecs(300);
        timer.armAt(300, clock, deadline);
        QCOMPARE(timer.interval(), 300);
        QTRY_VERIFY_WITH_TIMEOUT(firedAt.isValid(), 3000);
        QVERIFY2(firedAt >= deadline, qPrintable(firedAt.toString(Qt::ISODateWithMs)));
    }

    void armingWithTheCurrentIntervalOnlyReaimsTheNextTick()
    {
        SystemClock clock;
        Timer timer;
        const QDateTime &firedAt = recordFirstTick(timer, clock);
        timer.armAt(5000, clock, clock.now().addMSecs(5000));
        const QDateTime deadline = clock.now().addMSecs(100);
        timer.armAt(5000, clock, deadline);
        QCOMPARE(timer.interval(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(firedAt.isValid(), 3000);
        QVERIFY(firedAt >= deadline);
    }

    void aDeadlineWeeksAwayIsWaitedFor_data()
    {
        QTest::addColumn<int>("days");
        // As far as a wall clock set back by that much puts the deadline.
        QTest::newRow("25 days") << 25;
        QTest::newRow("40 days") << 40;
    }

    void aDeadlineWeeksAwayIsWaitedFor()
    {
        QFETCH(int, days);
        SystemClock clock;
        Timer timer;
        QSignalSpy ticks(&timer, &Timer::timeout);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        timer.armAt(1000, clock, clock.now().addDays(days));
        QTest::qWait(50);
        QCOMPARE(ticks.size(), 0);
        QCOMPARE(timer.interval(), 1000);
    }
};

QTEST_MAIN(TestTimer)
#include "tst_timer.moc"
