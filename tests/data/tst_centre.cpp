#include "support/ServerDatabase.h"
#include "support/ShellFixture.h"
#include "support/StalledServer.h"

#include "platform/Timer.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"
#include "schedule/SubjectReread.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "controls/TFlatComboBox.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

// Rooms of an exam centre reading one schedule from a PostgreSQL server,
// while an administrator changes it and while the server goes away.
namespace {

const QString Exam = QStringLiteral("语文");
const QString CopyNotice = QStringLiteral("，使用本机保存的考试安排");

// The tables, and the subject's morning.
void createSchedule(ServerDatabase &db)
{
    QProcess tool;
    tool.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox-db"),
               {QStringLiteral("create"), db.uri()});
    if (!tool.waitForFinished(60'000) || tool.exitCode() != 0)
        qFatal("tessivox-db create %s failed", qPrintable(db.uri()));
    db.exec(QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) VALUES (?, ?, ?)"),
            {Exam, QStringLiteral("2026-06-07 08:00:00"), QStringLiteral("2026-06-07 10:00:00")});
}

// The exam's instructions, as files played at seconds from 08:00:00.
void setInstructions(ServerDatabase &db, const QList<std::pair<QString, int>> &sounds)
{
    db.exec(QStringLiteral("DELETE FROM sound"));
    for (const auto &[file, second] : sounds)
        db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                               "VALUES (?, ?, '', ?)"),
                {Exam, file, QTime(8, 0).addSecs(second).toString(QStringLiteral("HH:mm:ss"))});
}

std::unique_ptr<ShellFixture> room(const QString &uri)
{
    auto room = std::make_unique<ShellFixture>(nullptr, uri);
    room->clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 50)));
    return room;
}

// From the main window (made if there is none), as the user starts a run:
// the run window as "确定" leaves it, its subject perhaps still on its way.
TFrm_Subject *pressOk(ShellFixture &room)
{
    TFrm_main *main = room.shell.Frm_main ? room.shell.Frm_main.data() : room.start();
    main->show();
    main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(Exam));
    QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
    return room.shell.Frm_Subject;
}

TFrm_Subject *startRun(ShellFixture &room)
{
    return ShellFixture::waitForLoad(pressOk(room));
}

void quitRun(ShellFixture &room)
{
    QTest::mouseClick(room.shell.Frm_Subject->Fbtn_quit, Qt::LeftButton);
    ShellFixture::settle();
}

QStringList listed(const TFrm_Subject *run)
{
    QStringList files;
    for (int i = 0; i < run->ListView1->topLevelItemCount(); ++i)
        files << run->ListView1->topLevelItem(i)->text(0);
    return files;
}

// The run's tick 2 ms into the second given (from 08:00:00), then its
// re-evaluations: the file the player then plays.
QString playAt(ShellFixture &room, TFrm_Subject *run, int second)
{
    room.clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0).addSecs(second).addMSecs(2)));
    run->Timer1->timeout();
    for (int guard = 0; run->Timer1->interval() == 1 && guard < 10; ++guard) {
        room.clock.advance(1);
        run->Timer1->timeout();
    }
    return room.players.last()->playing().section(QLatin1Char('/'), -1);
}

QStringList copyNotices(const ShellFixture &room)
{
    return (room.boxes.texts() + room.boxes.notices).filter(CopyNotice);
}

// What the user does, with the server stalled: whether shown() held at the
// third tick of a timer of the window's thread, which ticks only while that
// thread is free. The server then resumes if it answers again.
bool shownByTheThirdTick(StalledServer &stalled, bool answersAgain,
                         const std::function<void()> &act, const std::function<bool()> &shown)
{
    int ticks = 0;
    bool early = true;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks != 3)
            return;
        early = shown();
        if (answersAgain)
            stalled.resume();
    });
    ticker.start(10);
    act();
    return !QTest::qWaitFor([&] { return ticks >= 3; }, 30'000) || early;
}

// A room whose main window has loaded and whose local copy is in place.
std::unique_ptr<ShellFixture> loadedRoom(const QString &uri)
{
    auto loaded = room(uri);
    loaded->start();
    loaded->localCopy().wait();
    return loaded;
}

// The main window made afresh, as the program's start makes it.
TFrm_main *restart(ShellFixture &room)
{
    delete room.shell.Frm_main.data();
    return room.start();
}

} // namespace

class TestCentre : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_shared;
    std::unique_ptr<TestServer> m_private;
    bool m_privateDown = false;

    void killPrivate()
    {
        m_private->kill();
        m_privateDown = true;
    }

    void startPrivate()
    {
        m_private->start();
        m_privateDown = false;
    }

private slots:
    void initTestCase()
    {
        m_shared = std::make_unique<TestServer>();
        m_private = TestServer::startPrivate();
    }

    void cleanup()
    {
        if (m_privateDown)
            startPrivate();
    }

    void cleanupTestCase() { m_private.reset(); }

    void aRunKeepsItsQueueWhileAnotherRoomSavesTheSubject()
    {
        ServerDatabase db(*m_shared);
        createSchedule(db);
        setInstructions(db, {{"a.wav", 0}, {"b.wav", 10}});
        auto admin = room(db.uri());
        auto running = room(db.uri());
        TFrm_Subject *run = startRun(*running);
        QVERIFY2(run, qPrintable(running->boxes.texts().join(QLatin1Char('\n'))));
        QCOMPARE(listed(run), (QStringList{"a.wav", "b.wav"}));
        QCOMPARE(playAt(*running, run, 0), QStringLiteral("a.wav"));

        // What the editor stores when its list is saved.
        admin->start();
        const QList<Statement> saved{
            Statements::deleteSounds(Exam),
            Statements::insertSound(Exam, QStringLiteral("c.wav"), {}, QTime(8, 0, 5)),
            Statements::insertSound(Exam, QStringLiteral("d.wav"), {}, QTime(8, 0, 20))};
        ScheduleTables::transaction(admin->data, [&] { admin->data.ADOQuery11.executeAll(saved); });

        QCOMPARE(listed(run), (QStringList{"a.wav", "b.wav"}));
        QCOMPARE(playAt(*running, run, 5), QStringLiteral("a.wav"));
        QCOMPARE(playAt(*running, run, 10), QStringLiteral("b.wav"));
        quitRun(*running);
        QCOMPARE(listed(startRun(*running)), (QStringList{"c.wav", "d.wav"}));
        QVERIFY(copyNotices(*running).isEmpty());
    }

    void aRunPlaysOnWhenTheServerDiesAndTheNextRunReadsItAgain()
    {
        ServerDatabase db(*m_private);
        createSchedule(db);
        setInstructions(db, {{"a.wav", 0}, {"b.wav", 10}, {"c.wav", 20}});
        auto running = room(db.uri());
        TFrm_Subject *run = startRun(*running);
        QCOMPARE(playAt(*running, run, 0), QStringLiteral("a.wav"));

        killPrivate();
        QCOMPARE(playAt(*running, run, 10), QStringLiteral("b.wav"));
        QCOMPARE(playAt(*running, run, 20), QStringLiteral("c.wav"));

        startPrivate();
        setInstructions(db, {{"d.wav", 30}});
        quitRun(*running);
        QCOMPARE(listed(startRun(*running)), QStringList{"d.wav"});
        QVERIFY(copyNotices(*running).isEmpty());
    }

    void aRoomStartsFromItsLocalCopyWhenTheServerIsDown()
    {
        ServerDatabase db(*m_private);
        createSchedule(db);
        setInstructions(db, {{"a.wav", 0}});
        auto room = ::room(db.uri());
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        room->start();
        QTRY_VERIFY(QFile::exists(room->db.dataFolder() + QStringLiteral("/local-copy.mdb")));
        const QDateTime after = QDateTime::currentDateTime();

        killPrivate();
        delete room->shell.Frm_main.data();
        room->start();
        QCOMPARE(room->shell.Frm_main->ComboBox1->count(), 1);
        const QStringList notices = copyNotices(*room);
        QCOMPARE(notices.size(), 1);
        // A box that waits for nobody: the main window needs no click to come up.
        QVERIFY(room->boxes.texts().filter(CopyNotice).isEmpty());
        const QRegularExpressionMatch taken =
            QRegularExpression(QStringLiteral("（(.+) 保存）$")).match(notices.first());
        QVERIFY2(taken.hasMatch(), qPrintable(notices.first()));
        const QDateTime at =
            QDateTime::fromString(taken.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(at >= before && at <= after, qPrintable(notices.first()));

        // The run that follows reads the copy too, without a second notice.
        QCOMPARE(listed(startRun(*room)), QStringList{"a.wav"});
        QCOMPARE(copyNotices(*room).size(), 1);
        startPrivate();
    }

    void aReloadLeavesTheWindowLiveWhileTheServerHangs_data()
    {
        QTest::addColumn<bool>("answersAgain");
        QTest::newRow("the server answers again") << true;
        QTest::newRow("the server stays silent") << false;
    }

    // The window's thread runs on while the server does not answer its
    // reload: the values come later, from the server once it answers within
    // the deadline, else from the local copy.
    void aReloadLeavesTheWindowLiveWhileTheServerHangs()
    {
        QFETCH(bool, answersAgain);
        ServerDatabase db(*m_private);
        createSchedule(db);
        auto room = loadedRoom(db.uri());
        TFrm_main *main = room->shell.Frm_main;
        main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(Exam));
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES ('数学')"));
        const auto shown = [main] {
            QStringList names;
            for (int i = 0; i < main->ComboBox1->count(); ++i)
                names << main->ComboBox1->itemText(i);
            return names;
        };

        StalledServer stalled(*m_private);
        QVERIFY(!shownByTheThirdTick(
            stalled, answersAgain, [main] { main->refill(); },
            [&] { return !copyNotices(*room).isEmpty(); }));
        if (answersAgain) {
            QTRY_COMPARE_WITH_TIMEOUT(shown(), (QStringList{Exam, QStringLiteral("数学")}), 30'000);
            QVERIFY(copyNotices(*room).isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(copyNotices(*room).size(), 1, 30'000);
            QCOMPARE(shown(), QStringList{Exam});
        }
        QCOMPARE(main->ComboBox1->currentText(), Exam);
    }

    void aRunPressedWhileTheServerHangsLeavesTheWindowLive_data()
    {
        QTest::addColumn<bool>("answersAgain");
        QTest::addColumn<bool>("closedFirst");
        QTest::newRow("the server answers again") << true << false;
        QTest::newRow("the server stays silent") << false << false;
        QTest::newRow("the run is closed first") << false << true;
    }

    // The run window opens at once on "确定" and its thread runs on while
    // the server does not answer; the run then plays what the server gives
    // once it answers within the deadline, else its local copy. One closed
    // before either came plays nothing.
    void aRunPressedWhileTheServerHangsLeavesTheWindowLive()
    {
        QFETCH(bool, answersAgain);
        QFETCH(bool, closedFirst);
        ServerDatabase db(*m_private);
        createSchedule(db);
        setInstructions(db, {{"a.wav", 0}, {"b.wav", 10}});
        auto room = loadedRoom(db.uri());
        // The server's list from now on, unlike its copy's.
        setInstructions(db, {{"c.wav", 0}});

        StalledServer stalled(*m_private);
        QPointer<TFrm_Subject> run;
        QVERIFY(!shownByTheThirdTick(
            stalled, answersAgain, [&] { run = pressOk(*room); },
            [&] { return !run || !listed(run).isEmpty() || !copyNotices(*room).isEmpty(); }));
        QCOMPARE(run->Lbl_Name->text(), Exam);
        QVERIFY(run->isVisible());
        if (closedFirst) {
            run->close();
            ShellFixture::settle();
            QVERIFY(!run);
            stalled.resume();
            // The main window's load follows the run's on the link: once
            // it is in, the run's reading has come back too.
            room->shell.Frm_main->refill();
            ShellFixture::waitForLoad(room->shell.Frm_main);
            QVERIFY(room->sleepInhibitor.reasons.isEmpty());
            QVERIFY(room->shell.Frm_main->isVisible());
            QVERIFY(room->shell.Frm_main->isEnabled());
            return;
        }
        ShellFixture::waitForLoad(run);
        if (answersAgain) {
            QCOMPARE(listed(run), QStringList{"c.wav"});
            QVERIFY(copyNotices(*room).isEmpty());
            QCOMPARE(playAt(*room, run, 0), QStringLiteral("c.wav"));
        } else {
            QCOMPARE(listed(run), (QStringList{"a.wav", "b.wav"}));
            QCOMPARE(copyNotices(*room).size(), 1);
            QCOMPARE(playAt(*room, run, 0), QStringLiteral("a.wav"));
            QCOMPARE(playAt(*room, run, 10), QStringLiteral("b.wav"));
        }
        QCOMPARE(room->sleepInhibitor.held, 1);
    }

    void aChangeNoticedBeforeTheRunsSubjectArrivesIsReadAfterIt_data()
    {
        QTest::addColumn<bool>("noticed");
        QTest::newRow("a change noticed") << true;
        QTest::newRow("none") << false;
    }

    // The notice may tell of a change the first reading came too early
    // for; the run's own readings begin only once it is in.
    void aChangeNoticedBeforeTheRunsSubjectArrivesIsReadAfterIt()
    {
        QFETCH(bool, noticed);
        ServerDatabase db(*m_shared);
        createSchedule(db);
        setInstructions(db, {{"a.wav", 0}});
        auto room = loadedRoom(db.uri());
        TFrm_Subject *run = pressOk(*room);
        QVERIFY(run->isLoading());
        if (noticed)
            run->followServer();
        QVERIFY(!run->findChild<SubjectReread *>());
        ShellFixture::waitForLoad(run);
        const auto *reread = run->findChild<SubjectReread *>();
        QVERIFY(reread);
        QCOMPARE(reread->begun(), noticed ? 1 : 0);
    }

    // As a run on a database file whose queue cannot be read: the error is
    // said, and the main window is back with the subject still chosen.
    void aRunWhoseSubjectTheServerCannotGiveLeavesTheMainWindowAsItWas()
    {
        ServerDatabase db(*m_shared);
        createSchedule(db);
        auto room = loadedRoom(db.uri());
        db.exec(QStringLiteral("DROP TABLE sound"));
        TFrm_main *main = room->shell.Frm_main;
        // The user works in it: a late activation would reload it.
        main->show();
        QTRY_VERIFY(main->isActiveWindow());
        const QPointer<TFrm_Subject> run = startRun(*room);
        ShellFixture::settle();
        QVERIFY(!run);
        QCOMPARE(room->boxes.shown.size(), 1);
        QCOMPARE(room->boxes.shown[0].icon, MessageBoxes::Icon::Error);
        QVERIFY2(room->boxes.shown[0].text.contains(QStringLiteral("sound")),
                 qPrintable(room->boxes.shown[0].text));
        QVERIFY(main->isVisible());
        QVERIFY(main->isEnabled());
        QTRY_VERIFY(main->isActiveWindow());
        QCOMPARE(main->ComboBox1->currentText(), Exam);
        QVERIFY(room->sleepInhibitor.reasons.isEmpty());
    }

    void aCopyIsPlayedOnlyForItsOwnServerAndDatabase_data()
    {
        QTest::addColumn<QString>("from"); // what the copy's URI becomes in the room's
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("subjects");
        QTest::newRow("its own") << QString() << QString() << 1;
        QTest::newRow("another database")
            << QStringLiteral("postgresql:///t_") << QStringLiteral("postgresql:///other_") << 0;
        QTest::newRow("another server")
            << QStringLiteral("host=/") << QStringLiteral("host=/nowhere/") << 0;
    }

    void aCopyIsPlayedOnlyForItsOwnServerAndDatabase()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, subjects);
        ServerDatabase db(*m_private);
        createSchedule(db);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        auto writer = loadedRoom(db.uri());
        const QDateTime after = QDateTime::currentDateTime();

        killPrivate();
        auto room = ::room(QString(db.uri()).replace(from, to));
        QVERIFY(QFile::copy(writer->localCopy().path(), room->localCopy().path()));
        // Copied, touched, restored from a backup: the file's own time says
        // nothing of when the schedule was read.
        QFile copy(room->localCopy().path());
        QVERIFY(copy.open(QIODevice::ReadWrite));
        QVERIFY(copy.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(8, 0)),
                                 QFileDevice::FileModificationTime));
        copy.close();

        const int shown = room->start()->ComboBox1->count();
        const QStringList notices = copyNotices(*room);
        startPrivate();
        QCOMPARE(shown, subjects);
        QCOMPARE(notices.size(), subjects);
        if (subjects == 0)
            return;
        const QRegularExpressionMatch taken =
            QRegularExpression(QStringLiteral("（(.+) 保存）$")).match(notices.first());
        const QDateTime at =
            QDateTime::fromString(taken.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(at >= before && at <= after, qPrintable(notices.first()));
    }

    void aCopyLeftHalfWrittenIsRemoved()
    {
        ServerDatabase db(*m_shared);
        createSchedule(db);
        auto room = ::room(db.uri());
        const QString copy = room->localCopy().path();
        QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
        for (const QString &left :
             {copy + QStringLiteral(".Ab12Cd"), copy + QStringLiteral(".Ab12Cd-journal")}) {
            QFile file(left);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("half");
            file.flush();
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
        }
        room->start();
        room->localCopy().wait();
        QCOMPARE(QDir(QFileInfo(copy).path())
                     .entryList({QFileInfo(copy).fileName() + QStringLiteral("*")}, QDir::Files),
                 QStringList{QFileInfo(copy).fileName()});
    }

    // The server takes the connection and answers nothing.
    void aRunPressedOnAStalledServerPlaysFromTheLocalCopy()
    {
        ServerDatabase db(*m_private);
        createSchedule(db);
        setInstructions(db, {{"a.wav", 0}, {"b.wav", 10}, {"c.wav", 20}});
        auto room = loadedRoom(db.uri());

        const StalledServer stalled(*m_private);
        TFrm_Subject *run = startRun(*room);
        QVERIFY2(run, qPrintable(room->boxes.texts().join(QLatin1Char('\n'))));
        QCOMPARE(listed(run), (QStringList{"a.wav", "b.wav", "c.wav"}));
        QCOMPARE(copyNotices(*room).size(), 1);
        QCOMPARE(playAt(*room, run, 0), QStringLiteral("a.wav"));
        QCOMPARE(playAt(*room, run, 10), QStringLiteral("b.wav"));
        QCOMPARE(playAt(*room, run, 20), QStringLiteral("c.wav"));
    }

    void theMainWindowOfAStalledServerFillsFromTheCopyThenFromTheServerWhenItAnswers()
    {
        ServerDatabase db(*m_private);
        createSchedule(db);
        auto room = loadedRoom(db.uri());
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES ('数学')"));

        StalledServer stalled(*m_private);
        QCOMPARE(restart(*room)->ComboBox1->count(), 1);
        QCOMPARE(copyNotices(*room).size(), 1);
        stalled.resume();
        // Nobody touches anything.
        QTRY_COMPARE_WITH_TIMEOUT(room->shell.Frm_main->ComboBox1->count(), 2, 30'000);
    }

    void aServerTakingNoMoreConnectionsIsReplacedByTheCopyInItsOwnWords()
    {
        ServerDatabase db(*m_shared);
        createSchedule(db);
        const QString role = QStringLiteral("full_%1").arg(QCoreApplication::applicationPid());
        db.exec(QStringLiteral("CREATE ROLE %1 LOGIN CONNECTION LIMIT 0").arg(role));
        const auto dropRole =
            qScopeGuard([&] { db.exec(QStringLiteral("DROP ROLE %1").arg(role)); });
        auto writer = loadedRoom(db.uri());

        auto room = ::room(QString(db.uri()).replace(QStringLiteral("user=postgres"),
                                                     QStringLiteral("user=") + role));
        QVERIFY(QFile::copy(writer->localCopy().path(), room->localCopy().path()));
        QCOMPARE(room->start()->ComboBox1->count(), 1);
        const QStringList notices = copyNotices(*room);
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices.first().startsWith(QStringLiteral("服务器连接数已满")),
                 qPrintable(notices.first()));
    }
};

QTEST_MAIN(TestCentre)
#include "tst_centre.moc"
