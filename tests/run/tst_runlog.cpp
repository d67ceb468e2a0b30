#include "support/FakeClock.h"

#include "run/RunLog.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <functional>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using Events = std::function<void(RunLog &)>;
Q_DECLARE_METATYPE(Events)

class TestRunLog : public QObject
{
    Q_OBJECT

private slots:
    void eachEventIsOneLine_data()
    {
        QTest::addColumn<Events>("events");
        QTest::addColumn<QStringList>("lines");

        const QTime eight(8, 0);
        const QString a = QStringLiteral("/exam/sound/a.wav");
        const auto File = Scheduler::Failure::File;
        const auto Output = Scheduler::Failure::Output;
        QTest::newRow("run started")
            << Events([](RunLog &log) { log.started(QStringLiteral("语文\t第一场"), 6); })
            << QStringList{"run started\t语文 第一场\t6 instructions"};
        QTest::newRow("played") << Events([=](RunLog &log) { log.played(eight, 3, a); })
                                << QStringList{"played\t08:00:00\t+3 ms\t" + a};
        QTest::newRow("missed") << Events([=](RunLog &log) { log.missed(eight, a); })
                                << QStringList{"missed\t08:00:00\t" + a};
        QTest::newRow("a file failing loses no output")
            << Events([=](RunLog &log) {
                   log.played(eight, 2, a);
                   log.failed(eight.addSecs(10), a, QStringLiteral("Format not recognised."), File);
               })
            << QStringList{"played\t08:00:00\t+2 ms\t" + a,
                           "failed\t08:00:10\t" + a + "\t声音文件无法播放：Format not recognised."};
        QTest::newRow("output lost after a play")
            << Events([=](RunLog &log) {
                   log.played(eight, 2, a);
                   log.failed(eight.addSecs(10), a, QStringLiteral("no server"), Output);
               })
            << QStringList{"played\t08:00:00\t+2 ms\t" + a,
                           "failed\t08:00:10\t" + a + "\t声音输出失败：no server",
                           "sound output lost\tno server"};
        QTest::newRow("output lost before any play, then back")
            << Events([=](RunLog &log) {
                   log.failed(eight, a, QStringLiteral("no server"), Output);
                   log.played(eight.addSecs(10), 4, a);
               })
            << QStringList{"failed\t08:00:00\t" + a + "\t声音输出失败：no server",
                           "sound output lost\tno server",
                           "played\t08:00:10\t+4 ms\t" + a, "sound output back"};
        QTest::newRow("clock step")
            << Events([](RunLog &log) {
                   const QDateTime from(QDate(2026, 6, 7), QTime(7, 55),
                                        QTimeZone("Asia/Shanghai"));
                   log.clockStepped(from, from.addDays(-1));
               })
            << QStringList{
                   "clock step\t2026-06-07T07:55:00.000+08:00\t2026-06-06T07:55:00.000+08:00"};
        QTest::newRow("run ended") << Events([](RunLog &log) {
            log.ended(RunLog::End::Stopped);
            log.ended(RunLog::End::Closed);
        }) << QStringList{"run ended\tstopped", "run ended\tclosed"};
    }

    void eachEventIsOneLine()
    {
        QFETCH(Events, events);
        QFETCH(QStringList, lines);

        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("run-log"));
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + QStringLiteral("/2026-06-07.log"));
        // An earlier run's line stays: runs append.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier\n");
        file.close();

        FakeClock clock(
            QDateTime(QDate(2026, 6, 7), QTime(8, 0, 0, 4), QTimeZone("Asia/Shanghai")));
        {
            RunLog log(clock, folder);
            events(log);
        }

        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList written =
            QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(written.takeFirst(), QStringLiteral("earlier"));
        for (QString &line : written) {
            QCOMPARE(line.section(QLatin1Char('\t'), 0, 0),
                     QStringLiteral("2026-06-07T08:00:00.004+08:00"));
            line = line.section(QLatin1Char('\t'), 1);
        }
        QCOMPARE(written, lines);
    }

    // The scheduler reports each play from inside its tick: a log file that
    // cannot be written for now (a network share that hangs; here a pipe
    // nobody reads yet, whose opening blocks) must not hold the tick, and
    // loses no line once it can be written.
    void aFolderThatHangsHoldsUpNoEvent()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("run-log"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/2026-06-07.log");
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        FakeClock clock(QDateTime(QDate(2026, 6, 7), QTime(8, 0)));
        QFile reader(path);
        {
            RunLog log(clock, folder);
            log.started(QStringLiteral("语文"), 2);
            log.played(QTime(8, 0), 3, QStringLiteral("/exam/sound/a.wav"));
            log.missed(QTime(8, 5), QStringLiteral("/exam/sound/b.wav"));
            // Only now is there a reader, and with it a file to write.
            QVERIFY(reader.open(QIODevice::ReadOnly));
        }
        QStringList events;
        for (const QByteArray &line : reader.readAll().split('\n'))
            events << QString::fromUtf8(line).section(QLatin1Char('\t'), 1, 1);
        QCOMPARE(events, (QStringList{"run started", "played", "missed", ""}));
#else
        QSKIP("needs a named pipe");
#endif
    }
};

QTEST_MAIN(TestRunLog)
#include "tst_runlog.moc"
