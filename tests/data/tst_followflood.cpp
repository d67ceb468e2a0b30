#include "data/NoticeGate.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "schedule/ScheduleNotice.h"
#include "schedule/ScheduleWatch.h"
#include "schedule/SubjectReread.h"
#include "support/ServerDatabase.h"
#include "support/ShellFixture.h"
#include "support/StalledServer.h"

#include "run/Scheduler.h"
#include "schedule/LocalCopy.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "controls/TFlatComboBox.h"
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

// A running room on the real clock whose server is flooded with notices of
// changes, or hangs while the room reads its subject anew: every
// instruction still plays at its second.
namespace {

const QString Exam = QStringLiteral("语文");
constexpr int Instructions = 6;
// The first instruction's distance from the run's start, in seconds.
constexpr int Lead = 5;

// The exam's instructions, one a second from Lead seconds after now on.
QStringList createExam(ServerDatabase &db, const QDateTime &now)
{
    QProcess tool;
    tool.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox-db"),
               {QStringLiteral("create"), db.uri()});
    if (!tool.waitForFinished(60'000) || tool.exitCode() != 0)
        qFatal("tessivox-db create failed");
    db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES (?)"), {Exam});
    QStringList seconds;
    const QDateTime first = now.addMSecs(Lead * 1000 - now.time().msec());
    for (int i = 0; i < Instructions; ++i) {
        const QString second = first.addSecs(i).toString(QStringLiteral("HH:mm:ss"));
        db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                               "VALUES (?, ?, '', ?)"),
                {Exam, QStringLiteral("%1.wav").arg(i), second});
        seconds << second;
    }
    return seconds;
}

TFrm_Subject *startRun(ShellFixture &room)
{
    room.clock.set(QDateTime::currentDateTime());
    room.clock.run();
    room.listen();
    TFrm_main *main = room.start();
    main->show();
    main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(Exam));
    QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
    return ShellFixture::waitForLoad(room.shell.Frm_Subject);
}

QStringList seconds(const QSignalSpy &spy)
{
    QStringList all;
    for (const QList<QVariant> &signal : spy)
        all << signal.at(0).toTime().toString(QStringLiteral("HH:mm:ss"));
    return all;
}

int testReadings(ServerDatabase &db)
{
    return db
        .rows(QStringLiteral("SELECT seq_scan + coalesce(idx_scan, 0) FROM pg_stat_user_tables "
                             "WHERE relname = 'test'"))
        .value(0)
        .value(0)
        .toInt();
}

// A stranger's flood: about 400 notices a second, each in a transaction of
// its own, each with another payload.
void startFlood(QProcess &flood, ServerDatabase &db, int notices)
{
    db.exec(QStringLiteral("DO $$ BEGIN CREATE ROLE tessivox_stranger LOGIN; EXCEPTION "
                           "WHEN duplicate_object THEN NULL; END $$"));
    flood.start(QStringLiteral("psql"),
                {db.uri().replace(QStringLiteral("user=postgres"),
                                  QStringLiteral("user=tessivox_stranger")),
                 QStringLiteral("-qc"),
                 QStringLiteral("DO $$ BEGIN FOR i IN 1..%1 LOOP PERFORM "
                                "pg_notify('tessivox_schedule', i::text); COMMIT; PERFORM "
                                "pg_sleep(0.0025); END LOOP; END $$")
                     .arg(notices)});
}

// The channels the link's own connection listens on, as its server says.
int listening(ServerLink &link)
{
    int channels = -1;
    link.run(
        [&](Session &session) {
            QSqlQuery query(session.db());
            if (query.exec(QStringLiteral("SELECT count(*) FROM pg_listening_channels()")) &&
                query.next())
                channels = query.value(0).toInt();
        },
        std::chrono::seconds(5));
    return channels;
}

bool nearMidnight()
{
    return QTime::currentTime() > QTime(23, 59, 0);
}

} // namespace

class TestFollowFlood : public QObject
{
    Q_OBJECT

private slots:
    // Any login may notify the rooms' channel, each time with another
    // payload: the room reads its subject anew a few times a second at
    // most, never on the thread that plays.
    void aFloodOfNoticesCostsARunningRoomNoInstruction()
    {
        if (nearMidnight())
            QSKIP("the exam would pass midnight");
        TestServer server;
        ServerDatabase db(server);
        const QStringList expected = createExam(db, QDateTime::currentDateTime());
        ShellFixture room(nullptr, db.uri());
        TFrm_Subject *run = startRun(room);
        QVERIFY2(run, qPrintable(room.boxes.texts().join(QLatin1Char('\n'))));
        QSignalSpy played(run->scheduler.get(), &Scheduler::played);
        QSignalSpy missed(run->scheduler.get(), &Scheduler::missed);
        QTest::qWait(1500);
        const int before = testReadings(db);

        // For longer than the exam lasts.
        QProcess flood;
        startFlood(flood, db, (Lead + Instructions + 2) * 400);
        QVERIFY(flood.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(played.size() + missed.size(), Instructions,
                                  (Lead + Instructions + 5) * 1000);
        QCOMPARE(seconds(missed), QStringList{});
        QCOMPARE(seconds(played), expected);
        QVERIFY(flood.waitForFinished(30'000));
        QCOMPARE(flood.exitCode(), 0);
        // The server's own count of the room's readings of the subject's
        // test row, which its statistics take up to a second to show.
        QTest::qWait(2500);
        const int readings = testReadings(db) - before;
        QVERIFY2(readings <= (Lead + Instructions + 3) * 1000 / NoticeGate::SpacingMs,
                 qPrintable(QString::number(readings)));
    }

    // A server that counts its changes spares a running room every reading
    // of its subject a flood would cost it when nothing changed; one not yet
    // upgraded is read as every notice asks. During the flood the room
    // listens to nothing, which spares the server sending it every notice,
    // and asks instead; once it is over the room listens again.
    void aRunningRoomReadsItsSubjectOnlyWhenTheServerChangedIt_data()
    {
        QTest::addColumn<bool>("counted");
        QTest::addColumn<bool>("change");
        QTest::newRow("counted, nothing changed") << true << false;
        QTest::newRow("counted, a change during the flood") << true << true;
        QTest::newRow("not upgraded, a change during the flood") << false << true;
    }
    void aRunningRoomReadsItsSubjectOnlyWhenTheServerChangedIt()
    {
        QFETCH(bool, counted);
        QFETCH(bool, change);
        TestServer server;
        ServerDatabase db(server);
        createExam(db, QDateTime::currentDateTime());
        if (!counted) {
            // As the notice was before the count came.
            db.exec(QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE "
                                   "plpgsql AS $$ BEGIN PERFORM pg_notify('%2', "
                                   "pg_backend_pid()::text); RETURN NULL; END $$")
                        .arg(ScheduleNotice::Function, ScheduleNotice::Channel));
            db.exec(QStringLiteral("DROP TABLE IF EXISTS schedule_changes"));
        }
        const int before = testReadings(db);
        // The parts of a running room that follow the server.
        ServerLink link(db.uri());
        ScheduleWatch watch(link);
        SubjectReread reread(link, Exam);
        connect(&watch, &ScheduleWatch::changed, &reread, &SubjectReread::request);
        // The first instruction's explanation as each reading found it.
        QStringList explained;
        connect(&reread, &SubjectReread::read, this, [&](const SubjectRead &read) {
            explained << read.subject.instructions.first().explain;
        });
        // The reading at the start.
        QTRY_COMPARE_WITH_TIMEOUT(explained.size(), 1, 10'000);
        QCOMPARE(listening(link), 1);

        QProcess flood;
        startFlood(flood, db, 1600);
        QVERIFY(flood.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(listening(link), 0);
        if (change)
            db.exec(
                QStringLiteral("UPDATE sound SET explain = 'changed' WHERE filename = '0.wav'"));
        QVERIFY(flood.waitForFinished(30'000));
        QCOMPARE(flood.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(explained.contains(QStringLiteral("changed")), change, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(listening(link), 1, ServerLink::DeafMs + 5000);
        QTest::qWait(1000);
        if (!counted) {
            QVERIFY2(explained.size() > 2, qPrintable(explained.join(QLatin1Char('|'))));
            return;
        }
        const int expected = change ? 2 : 1;
        QCOMPARE(explained.size(), expected);
        // The server's own count of the readings of the subject's test row,
        // which its statistics may take ten seconds to show.
        QTRY_COMPARE_WITH_TIMEOUT(testReadings(db) - before, expected, 15'000);
    }

    void aServerThatHangsDuringTheReadingCostsNoInstruction()
    {
        if (nearMidnight())
            QSKIP("the exam would pass midnight");
        const std::unique_ptr<TestServer> server = TestServer::startPrivate();
        ServerDatabase db(*server);
        const QStringList expected = createExam(db, QDateTime::currentDateTime());
        ShellFixture room(nullptr, db.uri());
        TFrm_Subject *run = startRun(room);
        QVERIFY2(run, qPrintable(room.boxes.texts().join(QLatin1Char('\n'))));
        QSignalSpy played(run->scheduler.get(), &Scheduler::played);
        QSignalSpy missed(run->scheduler.get(), &Scheduler::missed);

        StalledServer stalled(*server);
        // A notice as the server sent it just before it hung, and more
        // while it hangs.
        for (int i = 0; i < Instructions; ++i)
            QTimer::singleShot(i * 1000, run, &TFrm_Subject::followServer);
        QTRY_COMPARE_WITH_TIMEOUT(played.size() + missed.size(), Instructions,
                                  (Lead + Instructions + 5) * 1000);
        QCOMPARE(seconds(missed), QStringList{});
        QCOMPARE(seconds(played), expected);
        QCOMPARE(run->ListView1->topLevelItemCount(), Instructions);
    }

    // A flood reloads an idle room's main window a few times a second: each
    // reload reads on the room's one connection, and the local copy is
    // written again only when the schedule read differs.
    void anIdleRoomsReloadOpensNoConnectionAndWritesTheSameCopyOnce()
    {
        TestServer server;
        ServerDatabase db(server);
        createExam(db, QDateTime::currentDateTime());
        ShellFixture room(nullptr, db.uri());
        TFrm_main *main = room.start();
        room.localCopy().wait();
        const QDateTime taken = room.localCopy().taken();
        QVERIFY(taken.isValid());
        const auto sessions = [&] {
            // The server's statistics take up to a second to show them.
            QTest::qWait(1500);
            return db
                .rows(QStringLiteral("SELECT sessions FROM pg_stat_database WHERE datname = "
                                     "current_database()"))
                .value(0)
                .value(0)
                .toInt();
        };
        const int before = sessions();
        for (int i = 0; i < 5; ++i) {
            main->refill();
            ShellFixture::waitForLoad(main);
            room.localCopy().wait();
        }
        // The only session since is the count's own.
        QCOMPARE(sessions() - before, 1);
        QCOMPARE(room.localCopy().taken(), taken);

        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES ('数学')"));
        main->refill();
        ShellFixture::waitForLoad(main);
        room.localCopy().wait();
        QVERIFY(room.localCopy().taken() > taken);
        QCOMPARE(main->ComboBox1->count(), 2);
    }
};

QTEST_MAIN(TestFollowFlood)
#include "tst_followflood.moc"
