#include "support/FakeClock.h"
#include "support/FakeMediaPlayer.h"
#include "support/TestDatabase.h"

#include "data/Statements.h"
#include "data/TDataModule1.h"
#include "platform/Timer.h"
#include "run/RunDisplay.h"
#include "run/Scheduler.h"

#include <QTest>
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

    void start(const QTime &time)
    {
        clock.setTime(time);
        data.ADOQuery10.replace(Statements::selectSoundsByPlaytime(QStringLiteral("语文")));
        data.ADOQuery10.open();
        scheduler.start();
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
        for (int guard = 0; Timer1.interval() == 1 && guard < 100; ++guard)
            playTick(clock.now().time().addMSecs(1));
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
    Scheduler scheduler{{data.ADOQuery10, device, Timer1, Timer3, clock, display, &Run::path}};
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
        QCOMPARE(run.data.ADOQuery10.row(), 0);
        QVERIFY(run.scheduler.label6().isEmpty());

        // 2. 08:00:00 play tick: A plays, then is passed over.
        run.playTick(at(8, 0, 0, 3));
        QCOMPARE(run.takeLog(), plays("a.wav"));
        QCOMPARE(run.Timer3.interval(), 20000);
        QCOMPARE(run.Timer1.interval(), 1);
        QCOMPARE(run.data.ADOQuery10.row(), 1);

        // 3. Re-evaluation: B is armed; the display stays on A.
        run.playTick(at(8, 0, 0, 4));
        QCOMPARE(run.Timer1.interval(), 6300000 - 4);
        QCOMPARE(run.takeLog(), QStringList{"fileName:" + Run::path("b.wav")});
        QCOMPARE(run.scheduler.label6(), QStringLiteral("9:45:0"));
        QCOMPARE(run.scheduler.Label4(), QStringLiteral("B"));
        QCOMPARE(run.data.ADOQuery10.row(), 2);
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
        QCOMPARE(run.data.ADOQuery10.row(), 2);
        QVERIFY(!run.data.ADOQuery10.eof());
        run.playTick(at(9, 45, 0, 3));
        QCOMPARE(run.Timer1.interval(), 900000 - 3);
        QCOMPARE(run.takeLog(), QStringList{"fileName:" + Run::path("c.wav")});
        QCOMPARE(run.scheduler.label6(), QStringLiteral("10:0:0"));
        QVERIFY(run.data.ADOQuery10.eof());

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
        QVERIFY(run.data.ADOQuery10.eof());
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
            << at(8, 0, 0, 500) << QStringList{"08:00:00", "08:00:05"} << QStringList{"1.wav"}
            << "播放说明：1";
        QTest::newRow("begun by one millisecond")
            << at(8, 0, 0, 1) << QStringList{"08:00:00", "08:00:05"} << QStringList{"1.wav"}
            << "播放说明：1";
        QTest::newRow("all missed")
            << at(12, 0, 0) << QStringList{"08:00:00", "09:00:00"} << QStringList{} << QString();
        QTest::newRow("after midnight counts as missed")
            << at(23, 59, 0) << QStringList{"00:00:30"} << QStringList{} << QString();
        QTest::newRow("equal times: only the first plays")
            << at(7, 59, 59) << QStringList{"08:00:00", "08:00:00"} << QStringList{"0.wav"}
            << "播放说明：0";
    }

    void instructionsAlreadyBegunAreNeverPlayed()
    {
        QFETCH(QTime, opened);
        QFETCH(QStringList, times);
        QFETCH(QStringList, played);
        QFETCH(QString, memo);

        Run run;
        for (int i = 0; i < times.size(); ++i)
            run.add(QStringLiteral("%1.wav").arg(i), QString::number(i), times[i], 1000);
        run.start(opened);
        QCOMPARE(run.display.playTime.isEmpty(), run.Timer1.interval() == 1);

        // Run through the whole queue, playing each armed instruction at
        // 3 ms into its second.
        QStringList heard;
        for (int guard = 0; guard < 20 && run.Timer1.interval() != 0; ++guard) {
            run.settle();
            if (run.Timer1.interval() == 0)
                break;
            run.playTick(run.clock.now().time().addMSecs(run.Timer1.interval() + 3));
            heard << run.device.playing().section(QLatin1Char('/'), -1);
        }
        QCOMPARE(heard, played);
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
        // again; the judgement waits for the second to have begun.
        QCOMPARE(run.Timer1.interval(), 60000);
        run.clock.setTime(at(8, 0, 0, 1));
        QTRY_COMPARE(run.Timer1.interval(), 1);
        run.settle();
        QCOMPARE(run.scheduler.label6(), QStringLiteral("8:0:5"));
        QCOMPARE(run.takeLog().count(QStringLiteral("play")), 1);
    }

    void aFailedOpenIsReportedAndTheRunGoesOn()
    {
        Run run;
        run.add(QStringLiteral("missing.wav"), QStringLiteral("A"), QStringLiteral("08:00:00"));
        run.add(QStringLiteral("b.wav"), QStringLiteral("B"), QStringLiteral("08:00:10"), 700);
        run.device.openFailsFor.insert(Run::path("missing.wav"));
        run.start(at(7, 59, 0));
        QVERIFY2(run.display.failures.isEmpty(), "a failed open at the start is not reported");

        int nestedTicks = 0;
        run.display.whileFailureShown = [&] {
            // The play timer keeps firing while the message is open.
            ++nestedTicks;
            run.scheduler.Timer1Timer();
        };
        run.playTick(at(8, 0, 0, 2));
        QCOMPARE(run.display.failures,
                 QStringList{QStringLiteral("声音控制器不正确，程序可能无法正常运行 !")});
        QCOMPARE(nestedTicks, 1);
        QCOMPARE(run.device.log.count(QStringLiteral("open:") + Run::path("missing.wav")), 2);
        QCOMPARE(run.Timer3.interval(), 0);

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
        run.data.ADOQuery10.next();
        run.display.memo.clear();
        run.Timer1.setInterval(1);
        run.playTick(at(7, 30, 0));
        QCOMPARE(run.display.playTime, QStringLiteral("播放时间：到播放队列尾"));
        QCOMPARE(run.display.memo, QStringList{QStringLiteral("当前播放说明：A")});
        QCOMPARE(run.scheduler.Label5(), QStringLiteral("done"));
        QCOMPARE(run.Timer1.interval(), 30 * 60000);
    }
};

QTEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
