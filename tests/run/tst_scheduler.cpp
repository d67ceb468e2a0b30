#include "support/FakeClock.h"
#include "support/FakeMediaPlayer.h"
#include "support/TestDatabase.h"

#include "data/TDataModule1.h"
#include "platform/Timer.h"
#include "run/InstructionQueue.h"
#include "run/RunDisplay.h"
#include "run/Scheduler.h"
#include "schedule/DataScheduleRepository.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>
#include <algorithm>
#include <ctime>
#include <functional>

namespace {

class FakeDisplay final : public RunDisplay
{
public:
    void setPlayTime(const QString &text) override { playTime = text; }
    bool memoIsEmpty() const override { return memo.isEmpty(); }
    void setMemoLine(const QString &line) override { memo = QStringList{line}; }
    void showPlayFailure(const QString &message) override
    {
        failures << message;
        if (whileFailureShown)
            whileFailureShown();
    }

    QString playTime;
    QStringList memo;
    QStringList failures;
    std::function<void()> whileFailureShown;
};

QTime at(int h, int m, int s, int ms = 0)
{
    return QTime(h, m, s, ms);
}

// The seconds a spy on Scheduler::missed saw.
QStringList seconds(const QSignalSpy &missed)
{
    QStringList result;
    for (const QList<QVariant> &signal : missed)
        result << signal[0].toTime().toString(Qt::ISODate);
    return result;
}

} // namespace

// A run of one subject: a real database queue, a recording sound device, a
// clock that moves only when told, and the two timers whose intervals are
// the scheduler's state (their ticks are called by hand).
class Run
{
public:
    Run() : data(db.path()) {}

    void add(const QString &file, const QString &explain, const QString &playtime,
             qint64 lengthMs = 0)
    {
        db.addSound(QStringLiteral("语文"), file, explain, playtime);
        device.lengths.insert(path(file), lengthMs);
    }

    // Files 0.wav, 1.wav, ... of one second each, explained by their number.
    void addAll(const QStringList &times)
    {
        for (int i = 0; i < times.size(); ++i)
            add(QStringLiteral("%1.wav").arg(i), QString::number(i), times[i], 1000);
    }

    void start(const QTime &time) { start(QDateTime(clock.now().date(), time)); }

    void start(const QDateTime &moment)
    {
        clock.set(moment);
        scheduler.start(instructions());
    }

    void playTick(const QTime &time)
    {
        clock.setTime(time);
        scheduler.Timer1Timer();
    }

    void displayTick(const QTime &time)
    {
        clock.setTime(time);
        scheduler.Timer3Timer();
    }

    // Re-evaluation ticks, one millisecond apart, until the play timer is
    // armed or stopped.
    void settle()
    {
        for (int guard = 0; Timer1.interval() == 1 && guard < 100; ++guard) {
            clock.advance(1);
            scheduler.Timer1Timer();
        }
    }

    // Goes on as the timers would, each play tick 3 ms into its wait, until
    // the queue is finished or after that many play ticks. Returns each
    // sound started as its file and the clock's time then.
    QStringList playThrough(int ticks = 50)
    {
        QStringList heard;
        for (settle(); Timer1.interval() != 0 && ticks-- > 0; settle()) {
            clock.advance(Timer1.interval() + 3);
            device.log.clear();
            scheduler.Timer1Timer();
            if (device.log.contains(QStringLiteral("play")) && !device.playing().isEmpty())
                heard << device.playing().section(QLatin1Char('/'), -1) + QLatin1Char(' ') +
                             clock.now().toString(Qt::ISODateWithMs).mid(11);
        }
        return heard;
    }

    QList<Instruction> instructions()
    {
        return DataScheduleRepository(data).subject(QStringLiteral("语文")).instructions;
    }

    static QString path(const QString &file) { return QStringLiteral("/exam/sound/") + file; }

    QStringList takeLog() { return std::exchange(device.log, {}); }

    TestDatabase db;
    TDataModule1 data;
    FakeClock clock;
    FakeMediaPlayer device;
    FakeDisplay display;
    Timer Timer1;
    Timer Timer3;
    Scheduler scheduler{{device, Timer1, Timer3, clock, display, &Run::path}};
};

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void workedExample()
    {
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"), 20000);
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("09:45:00"), 10000);
        run.add(QStringLiteral("c.wav"), QStringLiteral("C"), QStringLiteral("10:00:00"), 15000);
        const QStringList playsOf = {QStringLiteral("close"), QStringLiteral("open:%1"),
                                     QStringLiteral("stop"), QStringLiteral("play"),
                                     QStringLiteral("length")};
        auto plays = [&](const QString &file) {
            QStringList log = playsOf;
            log[1] = log[1].arg(Run::path(file));
            return log;
        };

        // 1. Opened at 07:50:00: the first instruction is armed and shown.
        run.start(at(7, 50, 0, 250));
        QCOMPARE(run.Timer1.interval(), 600000 - 250);
        QCOMPARE(run.takeLog(),
                 (QStringList{"fileName:" + Run::path("a.wav"), "open:" + Run::path("a.wav")}));
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：8:0:0"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("播放说明：A")});
        QCOMPARE(run.scheduler.queue().row(), 0);
        QVERIFY(run.scheduler.label6().isEmpty());

        // 2. 08:00:00 play tick: A plays, then is passed over.
        run.playTick(at(8, 0, 0, 3));
        QCOMPARE(run.takeLog(), plays("a.wav"));
        QCOMPARE(run.Timer3.interval(), 20000);
        QCOMPARE(run.Timer1.interval(), 1);
        QCOMPARE(run.scheduler.queue().row(), 1);

        // 3. Re-evaluation: B is armed; the display stays on A.
        run.playTick(at(8, 0, 0, 4));
        QCOMPARE(run.Timer1.interval(), 6300000 - 4);
        QCOMPARE(run.takeLog(), QStringList{"fileName:" + Run::path("b.wav")});
        QCOMPARE(run.scheduler.label6(), QStringLiteral("9:45:0"));
        QCOMPARE(run.scheduler.Label4(), QStringLiteral("B"));
        QCOMPARE(run.scheduler.queue().row(), 2);
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：8:0:0"));

        // 4. A's sound has ended: the display moves on to B.
        run.displayTick(at(8, 0, 20, 3));
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：9:45:0"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("播放说明：B")});
        QCOMPARE(run.Timer3.interval(), 0);

        // 5. 09:45:00: B plays; the peek steps past the end and back.
        run.playTick(at(9, 45, 0, 2));
        QCOMPARE(run.takeLog(), plays("b.wav"));
        QCOMPARE(run.Timer3.interval(), 10000);
        QCOMPARE(run.Timer1.interval(), 1);
        QCOMPARE(run.scheduler.queue().row(), 2);
        QVERIFY(!run.scheduler.queue().eof());
        run.playTick(at(9, 45, 0, 3));
        QCOMPARE(run.Timer1.interval(), 900000 - 3);
        QCOMPARE(run.takeLog(), QStringList{"fileName:" + Run::path("c.wav")});
        QCOMPARE(run.scheduler.label6(), QStringLiteral("10:0:0"));
        QVERIFY(run.scheduler.queue().eof());

        // 6. B's sound has ended: C is shown.
        run.displayTick(at(9, 45, 10, 2));
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：10:0:0"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("播放说明：C")});

        // 7. 10:00:00: C plays; the peek reads C itself, a few ms away.
        run.playTick(at(10, 0, 0, 5));
        QCOMPARE(run.takeLog(), plays("c.wav"));
        QCOMPARE(run.Timer3.interval(), 5);
        QCOMPARE(run.Timer1.interval(), 1);
        run.displayTick(at(10, 0, 0, 10));
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：10:0:0"));
        run.playTick(at(10, 0, 0, 11));
        QCOMPARE(run.Timer1.interval(), 1);
        QVERIFY(run.scheduler.queue().eof());
        run.playTick(at(10, 0, 0, 12));
        QCOMPARE(run.Timer1.interval(), 0);
        QCOMPARE(run.Timer3.interval(), 0);
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：到播放队列尾"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("播放说明：C")});
        QCOMPARE(run.device.playing(), Run::path("c.wav"));
        QVERIFY(run.display.failures.isEmpty());
    }

    void instructionsAlreadyBegunAreNeverPlayed_data()
    {
        QTest::addColumn<QTime>("opened");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QStringList>("played");
        QTest::addColumn<QString>("memo");

        QTest::newRow("first second begun by half a second")
            << at(8, 0, 0, 500) << QStringList{"08:00:00", "08:00:05"}
            << QStringList{"1.wav 08:00:05.003"} << "播放说明：1";
        QTest::newRow("begun by one millisecond")
            << at(8, 0, 0, 1) << QStringList{"08:00:00", "08:00:05"}
            << QStringList{"1.wav 08:00:05.003"} << "播放说明：1";
        QTest::newRow("all missed")
            << at(12, 0, 0) << QStringList{"08:00:00", "09:00:00"} << QStringList{} << QString();
        QTest::newRow("after midnight counts as missed")
            << at(23, 59, 0) << QStringList{"00:00:30"} << QStringList{} << QString();
        QTest::newRow("equal times: only the first plays")
            << at(7, 59, 59) << QStringList{"08:00:00", "08:00:00"}
            << QStringList{"0.wav 08:00:00.003"} << "播放说明：0";
    }

    void instructionsAlreadyBegunAreNeverPlayed()
    {
        QFETCH(QTime, opened);
        QFETCH(QStringList, times);
        QFETCH(QStringList, played);
        QFETCH(QString, memo);

        Run run;
        run.addAll(times);
        run.start(opened);
        QCOMPARE(run.display.playTime.isEmpty(), run.Timer1.interval() == 1);

        QCOMPARE(run.playThrough(), played);
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：到播放队列尾"));
        QCOMPARE(run.display.memo.value(0), memo);
    }

    void timeTextsAreUnpaddedAndToTheSecond_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("wait");
        QTest::newRow("plain") << "07:05:09"
                               << "7:5:9" << 5 * 60000 + 9000;
        QTest::newRow("afternoon") << "14:30:15"
                                   << "14:30:15" << 0;
        QTest::newRow("milliseconds dropped") << "07:05:09.750"
                                              << "7:5:9" << 5 * 60000 + 9000;
        QTest::newRow("date part dropped") << "2001-02-03 07:05:09"
                                           << "7:5:9" << 5 * 60000 + 9000;
    }

    void timeTextsAreUnpaddedAndToTheSecond()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(int, wait);
        Run run;
        run.add(QStringLiteral("x.wav"), QStringLiteral("x"), stored);
        run.start(at(7, 0, 0));
        QCOMPARE(run.display.playTime, "播放时间：" + shown);
        if (wait > 0)
            QCOMPARE(run.Timer1.interval(), wait);
    }

    void aWaitOfZeroOrOneMillisecondStillPlays_data()
    {
        QTest::addColumn<int>("msBefore");
        QTest::newRow("0 ms") << 0;
        QTest::newRow("1 ms") << 1;
    }

    void aWaitOfZeroOrOneMillisecondStillPlays()
    {
        QFETCH(int, msBefore);
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"));
        run.start(at(8, 0, 0).addMSecs(-msBefore));
        // Neither "stopped" nor "re-evaluate": the instruction stays armed.
        QCOMPARE(run.Timer1.interval(), 2);
        run.playTick(at(8, 0, 0, 1));
        QCOMPARE(run.device.playing(), Run::path("a.wav"));
    }

    void aTickOnTheVeryMillisecondPlaysOnce()
    {
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"), 500);
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("08:00:05"), 500);
        run.start(at(7, 59, 0));
        run.takeLog();
        run.playTick(at(8, 0, 0));
        QCOMPARE(run.device.playing(), Run::path("a.wav"));
        // Judged on that millisecond, A would still be ahead and be armed
        // again, even by a re-evaluation on the same millisecond.
        run.playTick(at(8, 0, 0));
        run.settle();
        QCOMPARE(run.scheduler.label6(), QStringLiteral("8:0:5"));
        QCOMPARE(run.takeLog().count(QStringLiteral("play")), 1);
    }

    void aFailedPlayIsReportedAndTheRunGoesOn_data()
    {
        QTest::addColumn<Scheduler::Failure>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the file cannot be opened")
            << Scheduler::Failure::File << QStringLiteral("文件不存在");
        QTest::newRow("the output starts no sound")
            << Scheduler::Failure::Output
            << QStringLiteral("声音输出没有播放这个文件（No sound output for \"%1\"）")
                   .arg(Run::path("missing.wav"));
    }

    void aFailedPlayIsReportedAndTheRunGoesOn()
    {
        QFETCH(Scheduler::Failure, failure);
        QFETCH(QString, reason);
        Run run;
        run.add(QStringLiteral("missing.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"),
                700);
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("08:00:10"), 700);
        (failure == Scheduler::Failure::File ? run.device.openFailsFor : run.device.playFailsFor)
            .insert(Run::path("missing.wav"));
        QSignalSpy failed(&run.scheduler, &Scheduler::failed);
        run.start(at(7, 59, 0));
        QVERIFY2(run.display.failures.isEmpty(), "a failed open at the start is not reported");

        int nestedTicks = 0;
        run.display.whileFailureShown = [&] {
            // The play timer keeps firing while the message is open.
            ++nestedTicks;
            run.scheduler.Timer1Timer();
        };
        run.playTick(at(8, 0, 0, 2));
        // The sentence the room knows, then which file and why.
        QCOMPARE(run.display.failures,
                 QStringList{QStringLiteral("声音控制器不正确，程序可能无法正常运行 !\n"
                                            "文件：missing.wav\n原因：") +
                             reason});
        QCOMPARE(nestedTicks, 1);
        QCOMPARE(run.device.log.count(QStringLiteral("open:") + Run::path("missing.wav")), 2);
        QCOMPARE(run.Timer3.interval(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0][3].value<Scheduler::Failure>(), failure);

        run.settle();
        run.playTick(at(8, 0, 10, 2));
        QCOMPARE(run.device.playing(), Run::path("b.wav"));
        // B is the last row, so the peek measures B itself: 2 ms.
        QCOMPARE(run.Timer3.interval(), 2);
    }

    void aSoundOfLengthZeroLeavesTheDisplayAlone()
    {
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"), 0);
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("09:00:00"), 0);
        run.start(at(7, 0, 0));
        run.playTick(at(8, 0, 0, 2));
        QCOMPARE(run.Timer3.interval(), 0);
    }

    void aNewInstructionCutsOffTheSoundStillPlaying()
    {
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"), 60000);
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("08:00:02"), 1000);
        run.start(at(7, 59, 0));
        run.playTick(at(8, 0, 0, 2));
        // The display switch waits for B, not for the end of A's minute.
        QCOMPARE(run.Timer3.interval(), 2000 - 2);
        run.settle();
        run.takeLog();
        run.playTick(at(8, 0, 2, 2));
        QCOMPARE(run.takeLog().mid(0, 2),
                 (QStringList{QStringLiteral("close"), "open:" + Run::path("b.wav")}));
        QCOMPARE(run.device.playing(), Run::path("b.wav"));
    }

    void aMemoEmptiedByHandIsFilledByTheNextArming()
    {
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"), 1000);
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("09:00:00"), 1000);
        run.start(at(7, 0, 0));
        run.playTick(at(8, 0, 0, 2));
        run.display.memo.clear();
        run.settle();
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：9:0:0"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("播放说明：B")});
    }

    void theLastRowAheadAfterTheEndIsShownAsCurrent()
    {
        Run run;
        run.add(QStringLiteral("a.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"), 1000);
        run.start(at(7, 0, 0));
        // A re-evaluation while the cursor sits on the last row with the end
        // flag set and that row still ahead.
        run.scheduler.queue().next();
        run.display.memo.clear();
        run.Timer1.setInterval(1);
        run.playTick(at(7, 30, 0));
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：到播放队列尾"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("当前播放说明：A")});
        QCOMPARE(run.scheduler.Label5(), QStringLiteral("done"));
        QCOMPARE(run.Timer1.interval(), 30 * 60000);
    }

    void aClockSetDuringAWaitReaimsIt_data()
    {
        QTest::addColumn<int>("playedBefore");
        QTest::addColumn<QDateTime>("setTo");
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<QStringList>("missed");

        const QDate day(2026, 6, 7);
        const QStringList all{"0.wav 08:00:00.003", "1.wav 08:10:00.003", "2.wav 08:20:00.003"};
        QTest::newRow("date set back a day")
            << 0 << QDateTime(day.addDays(-1), at(7, 55, 0)) << all << QStringList{};
        QTest::newRow("set back 30 days")
            << 0 << QDateTime(day.addDays(-30), at(7, 55, 0)) << all << QStringList{};
        QTest::newRow("forward within the wait")
            << 0 << QDateTime(day, at(7, 59, 30)) << all << QStringList{};
        QTest::newRow("forward past the first")
            << 0 << QDateTime(day, at(8, 5, 0)) << all.mid(1) << QStringList{"08:00:00"};
        QTest::newRow("forward into the first's second")
            << 0 << QDateTime(day, at(8, 0, 0, 400)) << all.mid(1) << QStringList{"08:00:00"};
        QTest::newRow("forward past all") << 0 << QDateTime(day, at(9, 0, 0)) << QStringList{}
                                          << QStringList{"08:00:00", "08:10:00", "08:20:00"};
        QTest::newRow("back an hour after the first played")
            << 1 << QDateTime(day, at(7, 5, 0)) << all << QStringList{};
        QTest::newRow("back a day after the second played")
            << 2 << QDateTime(day.addDays(-1), at(8, 0, 0)) << all << QStringList{};
    }

    void aClockSetDuringAWaitReaimsIt()
    {
        QFETCH(int, playedBefore);
        QFETCH(QDateTime, setTo);
        QFETCH(QStringList, heard);
        QFETCH(QStringList, missed);

        Run run;
        run.addAll({"08:00:00", "08:10:00", "08:20:00"});
        QSignalSpy missedSpy(&run.scheduler, &Scheduler::missed);
        QSignalSpy steps(&run.scheduler, &Scheduler::clockStepSeen);
        run.start(at(7, 50, 0));
        QStringList played = run.playThrough(playedBefore);
        // The fake clock moved on while the monotonic one hardly did: a base
        // for the check that matters.
        run.scheduler.checkClock();
        steps.clear();
        run.device.forgotten = 0;
        run.clock.set(setTo);
        run.scheduler.checkClock();
        QCOMPARE(steps.size(), 1);
        // What was got ready for the old time is let go.
        QCOMPARE(run.device.forgotten, 1);
        played << run.playThrough();
        QCOMPARE(played, heard);
        QCOMPARE(seconds(missedSpy), missed);
    }

    // The delay reported is the one heard: a device that takes its time to
    // start the sound (one not got ready ahead, a server slow to answer)
    // makes the play late, and so does the output's latency after it; the
    // log and the office must say so, never less, in whole milliseconds.
    void thePlayIsReportedAsLateAsItsSoundWasLetGo_data()
    {
        QTest::addColumn<qint64>("playTakesMs");
        QTest::addColumn<qint64>("heardUs");
        QTest::addColumn<qint64>("delayMs");
        QTest::newRow("play takes 40 ms") << 40LL << 0LL << 43LL;
        QTest::newRow("heard after the output's latency") << 0LL << 2400LL << 6LL;
        QTest::newRow("a part of a millisecond is rounded up") << 0LL << 1LL << 4LL;
        QTest::newRow("heard before play() returned") << 2LL << -700LL << 5LL;
    }
    void thePlayIsReportedAsLateAsItsSoundWasLetGo()
    {
        QFETCH(qint64, playTakesMs);
        QFETCH(qint64, heardUs);
        Run run;
        run.addAll({"08:00:00"});
        QSignalSpy played(&run.scheduler, &Scheduler::played);
        run.start(at(7, 59, 50));
        run.device.whilePlaying = [&] { run.clock.advance(playTakesMs); };
        run.device.heardUs = heardUs;
        run.playTick(at(8, 0, 0, 3));
        QCOMPARE(played.size(), 1);
        QTEST(played[0][1].toLongLong(), "delayMs");
    }

    // A change of the machine's zone (its zone file replaced) moves every
    // time of day: it is a step of the clock, from the time the clock showed
    // in the old zone to the one it shows in the new.
    void aZoneChangeIsAStepFromWhatTheClockShowed()
    {
        const QByteArray zone = qgetenv("TZ");
        const auto setZone = [](const QByteArray &name) {
            qputenv("TZ", name);
            tzset();
        };
#ifdef Q_OS_WIN
        // Windows' C runtime knows no zone names: TZ is a name and the
        // hours west of UTC.
        const QByteArray shanghai = "CST-8", tokyo = "JST-9";
#else
        const QByteArray shanghai = "Asia/Shanghai", tokyo = "Asia/Tokyo";
#endif
        setZone(shanghai);
        Run run;
        run.addAll({"08:00:00"});
        QSignalSpy steps(&run.scheduler, &Scheduler::clockStepSeen);
        run.start(QDateTime(QDate(2026, 6, 7), at(7, 0, 0)));
        setZone(tokyo);
        run.clock.set(QDateTime(QDate(2026, 6, 7), at(8, 0, 0)));
        run.scheduler.checkClock();
        QStringList shown;
        for (const QList<QVariant> &step : steps) {
            for (const QVariant &reading : step) {
                const QDateTime time = reading.toDateTime();
                shown << time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
            }
        }
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        tzset();
        QCOMPARE(shown, (QStringList{"2026-06-07T07:00:00+08:00", "2026-06-07T08:00:00+09:00"}));
    }

    // Each instruction's sound is got ready a few seconds before its second,
    // time enough for the device to find a server that went away, but not
    // long before; always the file that the second then plays.
    void eachSoundIsPreparedShortlyBeforeItsSecond()
    {
        Run run;
        run.addAll({"08:00:00", "08:00:02", "08:30:00"});
        run.start(at(7, 59, 50));
        run.scheduler.checkClock();
        run.clock.setTime(at(7, 59, 56));
        run.scheduler.checkClock();
        QCOMPARE(run.device.prepared, QStringList{});
        run.clock.setTime(at(7, 59, 57, 500));
        run.scheduler.checkClock();
        // Asked again at every check, the device keeps what it has.
        run.device.prepared.removeDuplicates();
        QCOMPARE(run.device.prepared, QStringList{Run::path("0.wav")});
        run.playTick(at(8, 0, 0, 3));
        QCOMPARE(run.device.playing(), Run::path("0.wav"));
        // Armed two seconds ahead, the next is prepared as it is armed.
        run.settle();
        QCOMPARE(run.device.prepared.last(), Run::path("1.wav"));
        run.playTick(at(8, 0, 2, 3));
        QCOMPARE(run.device.playing(), Run::path("1.wav"));
        run.settle();
        QCOMPARE(run.device.prepared.last(), Run::path("1.wav"));
    }

    void theDisplayMovesOnOnceTheClockJumpsPastItsInstruction_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("jumpedTo");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QString>("shown");
        QTest::newRow("clock set forward")
            << "2026-06-07T07:50:00+02:00"
            << "2026-06-07T08:05:00+02:00" << QStringList{"08:00:00", "08:10:00"} << "8:10:0";
        QTest::newRow("New York, skipped hour")
            << "2026-03-08T01:50:00-05:00"
            << "2026-03-08T03:00:00-04:00" << QStringList{"02:30:00", "03:10:00"} << "3:10:0";
    }

    void theDisplayMovesOnOnceTheClockJumpsPastItsInstruction()
    {
        QFETCH(QString, opened);
        QFETCH(QString, jumpedTo);
        QFETCH(QStringList, times);
        QFETCH(QString, shown);
        const QTimeZone zone(opened.startsWith("2026-03") ? "America/New_York" : "Europe/Berlin");
        Run run;
        run.addAll(times);
        run.start(QDateTime::fromString(opened, Qt::ISODate).toTimeZone(zone));
        QCOMPARE(run.display.playTime,
                 "播放时间：" + Scheduler::unpaddedTime(QTime::fromString(times[0])));
        run.scheduler.checkClock();
        run.clock.set(QDateTime::fromString(jumpedTo, Qt::ISODate).toTimeZone(zone));
        // A step the run's clock check sees, or the play tick at the moment
        // the daylight-saving change jumps over the instruction.
        if (zone.id() == "Europe/Berlin")
            run.scheduler.checkClock();
        run.scheduler.Timer1Timer();
        run.settle();
        QCOMPARE(run.display.playTime, "播放时间：" + shown);
        QCOMPARE(run.display.memo, QStringList{"播放说明：1"});
    }

    void daylightSavingDays_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<QStringList>("missed");

        QTest::newRow("New York, skipped hour, opened before it")
            << "America/New_York"
            << "2026-03-08T01:50:00-05:00" << QStringList{"02:30:00", "03:10:00"}
            << QStringList{"1.wav 03:10:00.003-04:00"} << QStringList{"02:30:00"};
        QTest::newRow("New York, skipped hour, opened after the jump")
            << "America/New_York"
            << "2026-03-08T03:05:00-04:00" << QStringList{"02:30:00", "03:10:00"}
            << QStringList{"1.wav 03:10:00.003-04:00"} << QStringList{"02:30:00"};
        QTest::newRow("New York, repeated hour, opened before it")
            << "America/New_York"
            << "2026-11-01T00:50:00-04:00" << QStringList{"01:30:00", "01:45:00"}
            << QStringList{"0.wav 01:30:00.003-04:00", "1.wav 01:45:00.003-04:00"} << QStringList{};
        QTest::newRow("New York, repeated hour, opened in its second pass")
            << "America/New_York"
            << "2026-11-01T01:10:00-05:00" << QStringList{"01:30:00", "02:10:00"}
            << QStringList{"1.wav 02:10:00.003-05:00"} << QStringList{"01:30:00"};
        QTest::newRow("Berlin, skipped hour from its first second to its last")
            << "Europe/Berlin"
            << "2026-03-29T01:59:00+01:00" << QStringList{"02:00:00", "02:59:59", "03:00:01"}
            << QStringList{"2.wav 03:00:01.003+02:00"} << QStringList{"02:00:00", "02:59:59"};
        QTest::newRow("Berlin, repeated hour, opened in its first pass")
            << "Europe/Berlin"
            << "2026-10-25T02:40:00+02:00" << QStringList{"02:30:00", "02:50:00"}
            << QStringList{"1.wav 02:50:00.003+02:00"} << QStringList{"02:30:00"};
    }

    void daylightSavingDays()
    {
        QFETCH(QString, zone);
        QFETCH(QString, opened);
        QFETCH(QStringList, times);
        QFETCH(QStringList, heard);
        QFETCH(QStringList, missed);

        const QTimeZone rules(zone.toUtf8());
        const QDateTime start = QDateTime::fromString(opened, Qt::ISODate).toTimeZone(rules);
        auto check = [&](const QDateTime &from, const QStringList &expected) {
            Run run;
            run.addAll(times);
            QSignalSpy missedSpy(&run.scheduler, &Scheduler::missed);
            run.start(from);
            QCOMPARE(run.playThrough(), expected);
            QCOMPARE(seconds(missedSpy), missed);
        };
        check(start, heard);

        // Where TZ gives this process the zone's rules (in any of its forms),
        // the same day on the local clock, whose readings carry no offset.
        const int year = start.date().year();
        const bool localFollows =
            std::ranges::all_of(QList{start, QDateTime(QDate(year, 1, 1), QTime(12, 0), rules),
                                      QDateTime(QDate(year, 7, 1), QTime(12, 0), rules)},
                                [&](const QDateTime &m) {
                                    return m.toLocalTime().offsetFromUtc() == m.offsetFromUtc();
                                });
        if (localFollows)
            check(start.toLocalTime(),
                  QStringList(heard).replaceInStrings(
                      QRegularExpression(QStringLiteral("[+-]\\d\\d:\\d\\d$")), {}));
    }

    // The subject's rows change on the server while 0.wav has played: the
    // run reads them again and follows them by each row's identity.
    void aRunFollowsItsRowsByTheirIdentity_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QTime>("at");
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<QStringList>("missed");
        const QTime early = at(8, 1, 0);
        QTest::newRow("played, moved ahead: never again")
            << "UPDATE sound SET playtime = '08:30:00' WHERE filename = '0.wav'" << early
            << QStringList{"1.wav 08:10:00.003", "2.wav 08:20:00.003"} << QStringList{};
        QTest::newRow("ahead, moved later: at its new second")
            << "UPDATE sound SET playtime = '08:15:00' WHERE filename = '1.wav'" << early
            << QStringList{"1.wav 08:15:00.003", "2.wav 08:20:00.003"} << QStringList{};
        QTest::newRow("ahead, moved before the next: at its new second")
            << "UPDATE sound SET playtime = '08:05:00' WHERE filename = '2.wav'" << early
            << QStringList{"2.wav 08:05:00.003", "1.wav 08:10:00.003"} << QStringList{};
        QTest::newRow("removed: no longer plays")
            << "DELETE FROM sound WHERE filename = '1.wav'" << early
            << QStringList{"2.wav 08:20:00.003"} << QStringList{};
        QTest::newRow("added ahead: plays")
            << "INSERT INTO sound (subjectname, filename, playtime) VALUES ('语文', '3.wav', "
               "'08:12:00')"
            << early
            << QStringList{"1.wav 08:10:00.003", "3.wav 08:12:00.003", "2.wav 08:20:00.003"}
            << QStringList{};
        QTest::newRow("added behind: neither played nor missed")
            << "INSERT INTO sound (subjectname, filename, playtime) VALUES ('语文', '3.wav', "
               "'07:55:00')"
            << early << QStringList{"1.wav 08:10:00.003", "2.wav 08:20:00.003"} << QStringList{};
        QTest::newRow("ahead, moved behind the clock: missed")
            << "UPDATE sound SET playtime = '07:58:00' WHERE filename = '1.wav'" << early
            << QStringList{"2.wav 08:20:00.003"} << QStringList{"07:58:00"};
        QTest::newRow("moved less than 2 s before its second: as it was")
            << "UPDATE sound SET playtime = '08:15:00' WHERE filename = '1.wav'"
            << at(8, 9, 58, 500) << QStringList{"1.wav 08:10:00.003", "2.wav 08:20:00.003"}
            << QStringList{};
        QTest::newRow("removed less than 2 s before its second: as it was")
            << "DELETE FROM sound WHERE filename = '1.wav'" << at(8, 9, 58, 500)
            << QStringList{"1.wav 08:10:00.003", "2.wav 08:20:00.003"} << QStringList{};
        QTest::newRow("moved 2 s before its second: at its new second")
            << "UPDATE sound SET playtime = '08:15:00' WHERE filename = '1.wav'" << at(8, 9, 58)
            << QStringList{"1.wav 08:15:00.003", "2.wav 08:20:00.003"} << QStringList{};
    }

    void aRunFollowsItsRowsByTheirIdentity()
    {
        QFETCH(QString, change);
        QFETCH(QTime, at);
        QFETCH(QStringList, heard);
        QFETCH(QStringList, missed);
        Run run;
        run.addAll({"08:00:00", "08:10:00", "08:20:00"});
        run.device.lengths.insert(Run::path(QStringLiteral("3.wav")), 1000);
        run.start(::at(7, 59, 0));
        QCOMPARE(run.playThrough(1), QStringList{"0.wav 08:00:00.003"});
        QSignalSpy missing(&run.scheduler, &Scheduler::missed);

        run.db.exec(change);
        run.clock.setTime(at);
        run.scheduler.checkClock();
        const QueueChange followed = run.scheduler.follow(run.instructions());
        QVERIFY(!followed.isEmpty() || !followed.kept.isEmpty());

        QCOMPARE(run.playThrough(), heard);
        QCOMPARE(seconds(missing), missed);
    }
};

QTEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
