#include "support/FakeClock.h"
#include "support/FakeMediaPlayer.h"

#include "platform/Timer.h"
#include "run/Announcer.h"

#include <QTemporaryDir>
#include <QTest>

// The office's announcements in one room, on a clock that moves only when
// told, the timer's ticks delivered by hand at the moments it was aimed at.
class TestAnnouncer : public QObject
{
    Q_OBJECT

private slots:
    void playsEachOnceAtItsSecond_data()
    {
        QTest::addColumn<int>("aheadS");
        QTest::addColumn<bool>("handledBefore");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<qint64>("tickLateMs");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("refused");
        QTest::newRow("ahead: got ready, played at its second")
            << 15 << false << true << qint64(2) << "prepared played+2"
            << "";
        QTest::newRow("passed before the room knew of it: missed")
            << -5 << false << true << qint64(0) << "missed"
            << "";
        QTest::newRow("handled by an earlier start of the program: nothing")
            << -5 << true << true << qint64(0) << ""
            << "";
        QTest::newRow("a tick more than a second late (the PC slept): missed")
            << 15 << false << true << qint64(1500) << "prepared missed"
            << "";
        QTest::newRow("recording not yet received: failed, saying so")
            << 15 << false << false << qint64(2)
            << "prepared failed:not yet received from the server"
            << "";
        QTest::newRow("refused by the room (its hash names a path): failed, untouched")
            << 15 << false << true << qint64(2) << "failed:not a SHA-256"
            << "not a SHA-256";
    }
    void playsEachOnceAtItsSecond()
    {
        QFETCH(int, aheadS);
        QFETCH(bool, handledBefore);
        QFETCH(bool, fileThere);
        QFETCH(qint64, tickLateMs);
        QFETCH(QString, expected);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notice.wav"));
        if (fileThere) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        FakeClock clock(QDateTime(QDate(2026, 6, 7), QTime(9, 0, 0, 500)));
        FakeMediaPlayer device;
        device.missingFilesFail = true;
        Timer timer;
        Announcer announcer(device, timer, clock);
        QStringList seen;
        connect(&announcer, &Announcer::started, this,
                [&](const Announcer::Announcement &, qint64 delayMs) {
                    seen << QStringLiteral("played+%1").arg(delayMs);
                });
        connect(&announcer, &Announcer::missed, this,
                [&](const Announcer::Announcement &) { seen << QStringLiteral("missed"); });
        connect(&announcer, &Announcer::failed, this,
                [&](const Announcer::Announcement &, const QString &reason) {
                    seen << QStringLiteral("failed:") + reason;
                });
        const QDateTime second = QDateTime(QDate(2026, 6, 7), QTime(9, 0)).addSecs(aheadS);
        const Announcer::Announcement notice{
            7,      second.time(), QStringLiteral("考生请注意"), path, QStringLiteral("notice.wav"),
            refused};
        announcer.setPlan({notice}, handledBefore ? QSet<qint64>{7} : QSet<qint64>{});

        if (aheadS > 0) {
            // Woken to get it ready, then at the second.
            clock.set(second.addMSecs(-Announcer::PrepareLeadMs));
            emit timer.timeout();
            if (device.prepared == QStringList{path})
                seen.prepend(QStringLiteral("prepared"));
            clock.set(second.addMSecs(tickLateMs));
            emit timer.timeout();
        }
        // The same plan read again, and the day's later ticks: nothing twice.
        announcer.setPlan({notice});
        clock.advance(60'000);
        emit timer.timeout();
        QCOMPARE(seen.join(QLatin1Char(' ')), expected);
        QCOMPARE(timer.interval(), 0);
    }

    // An instruction's second silences the announcement while it sounds,
    // and only then.
    void silencedOnlyWhileSounding()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notice.wav"));
        FakeClock clock(QDateTime(QDate(2026, 6, 7), QTime(9, 0)));
        FakeMediaPlayer device;
        device.lengths.insert(path, 4000);
        Timer timer;
        Announcer announcer(device, timer, clock);
        announcer.setPlan({{3, QTime(9, 0, 20), QString(), path, QStringLiteral("notice.wav")}});
        clock.setTime(QTime(9, 0, 20));
        emit timer.timeout();
        QCOMPARE(device.playing(), path);
        clock.advance(1000);
        const std::optional<Announcer::Announcement> silenced = announcer.silence();
        QVERIFY(silenced);
        QCOMPARE(silenced->id, qint64(3));
        QCOMPARE(device.playing(), QString());
        QVERIFY(!announcer.silence());
    }
};

QTEST_GUILESS_MAIN(TestAnnouncer)
#include "tst_announcer.moc"
