#include "support/ServerDatabase.h"
#include "support/ShellFixture.h"

#include "support/OpenEditor.h"
#include "support/TestSounds.h"

#include "schedule/ScheduleWatch.h"
#include "platform/Timer.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"
#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"
#include "ui/screen/CandidateScreen.h"
#include "ui/screen/TickingText.h"

#include "controls/TFlatComboBox.h"
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

// Rooms of a centre that follow the server's notices of schedule changes:
// two rooms, each a program of its own with its own connections, on the
// tests' private server.
namespace {

const QString Subject = QStringLiteral("语文");
// No room waits for a notice longer than this here: the goal is a second.
constexpr int NoticeWaitMs = 5000;

struct Tool
{
    int code = -1;
    QString out;
    QString err;
};

Tool tessivoxDb(const QStringList &arguments)
{
    QProcess tool;
    tool.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox-db"),
               arguments);
    if (!tool.waitForFinished(60'000))
        qFatal("tessivox-db %s did not finish", qPrintable(arguments.join(' ')));
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

// The server's time of day now, as the rooms' clocks read it.
QDateTime serverNow(ServerDatabase &db)
{
    return QDateTime::fromString(
        db.rows(QStringLiteral("SELECT to_char(LOCALTIMESTAMP, 'YYYY-MM-DD HH24:MI:SS')"))
            .value(0)
            .value(0),
        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::unique_ptr<ShellFixture> room(const QString &uri, const QDateTime &now)
{
    auto room = std::make_unique<ShellFixture>(nullptr, uri);
    room->clock.set(now);
    room->listen();
    return room;
}

QStringList subjects(const TFrm_main *main)
{
    QStringList names;
    for (int i = 0; i < main->ComboBox1->count(); ++i)
        names << main->ComboBox1->itemText(i);
    return names;
}

TFrm_Subject *startRun(ShellFixture &room)
{
    TFrm_main *main = room.start();
    main->show();
    main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(Subject));
    QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
    return ShellFixture::waitForLoad(room.shell.Frm_Subject);
}

// The re-evaluations the run's timer would make now, a millisecond apart.
void settle(ShellFixture &room, TFrm_Subject *run)
{
    for (int guard = 0; run->Timer1->interval() == 1 && guard < 20; ++guard) {
        room.clock.advance(1);
        run->Timer1->timeout();
    }
}

// The re-evaluations still due, then the play tick at the second given and
// the re-evaluations after it.
void tickAt(ShellFixture &room, TFrm_Subject *run, const QDateTime &second)
{
    settle(room, run);
    room.clock.set(second.addMSecs(2));
    run->Timer1->timeout();
    settle(room, run);
}

// Each file the room's player started, in order.
QStringList plays(const ShellFixture &room)
{
    QStringList started;
    QString open;
    for (const FakeMediaPlayer *player : room.players)
        for (const QString &call : player->log) {
            if (call.startsWith(QLatin1String("open:")))
                open = call.section(QLatin1Char('/'), -1);
            else if (call == QLatin1String("play"))
                started << open;
        }
    return started;
}

QString playTimes(const TFrm_Subject *run)
{
    QStringList times;
    for (int i = 0; i < run->ListView1->topLevelItemCount(); ++i)
        times << run->ListView1->topLevelItem(i)->text(2);
    return times.join(QLatin1Char(','));
}

} // namespace

class TestFollow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_server;

private slots:
    void initTestCase() { m_server = std::make_unique<TestServer>(); }

    void aSubjectAddedInOneRoomAppearsInTheOthersMainWindow()
    {
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        db.exec(QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) VALUES "
                               "(?, '2026-06-07 08:00:00', '2026-06-07 10:00:00')"),
                {Subject});
        const QDateTime now = serverNow(db);
        auto office = room(db.uri(), now);
        auto watching = room(db.uri(), now);
        TFrm_main *main = watching->start();
        main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(Subject));

        ScheduleTables::transaction(office->data, [&] {
            office->data.ADOQuery1.replace(Statements::insertSubject(
                QStringLiteral("数学"), QDateTime(QDate(2026, 6, 7), QTime(14, 0)),
                QDateTime(QDate(2026, 6, 7), QTime(16, 0))));
            office->data.ADOQuery1.execute();
        });
        QTRY_COMPARE_WITH_TIMEOUT(subjects(main), (QStringList{Subject, QStringLiteral("数学")}),
                                  NoticeWaitMs);
        QCOMPARE(main->ComboBox1->currentText(), Subject);

        // Through psql as much as through a room; a subject deleted is no
        // longer chosen.
        db.exec(QStringLiteral("DELETE FROM test WHERE subjectname = ?"), {Subject});
        QTRY_COMPARE_WITH_TIMEOUT(subjects(main), QStringList{QStringLiteral("数学")},
                                  NoticeWaitMs);
        QCOMPARE(main->ComboBox1->currentIndex(), -1);
    }

    void anOpenConsoleIsLeftAloneButToldOfAnotherRoomsChange()
    {
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        const QDateTime now = serverNow(db);
        auto admin = room(db.uri(), now);
        admin->start();
        TFrm_sa *console = admin->openConsole();
        QVERIFY(console);
        console->show();
        // Its own change is no news.
        ScheduleTables::transaction(admin->data, [&] {
            admin->data.ADOQuery1.replace(Statements::updateTitle(QStringLiteral("新标题")));
            admin->data.ADOQuery1.execute();
        });
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES ('数学')"));
        QTRY_COMPARE_WITH_TIMEOUT(admin->boxes.notices.size(), 1, NoticeWaitMs);
        QVERIFY2(admin->boxes.notices.first().contains(QStringLiteral("别处修改")),
                 qPrintable(admin->boxes.notices.first()));
        QCOMPARE(admin->shell.Frm_sa.data(), console);
        QVERIFY(!admin->shell.Frm_main->isEnabled());
    }

    void aRunFollowsItsSubjectPutBackTenMinutes()
    {
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        const QDateTime now = serverNow(db);
        // Half a minute back to an hour ahead, all on one day.
        if (now.time() > QTime(23, 0) || now.time() < QTime(0, 1))
            QSKIP("the exam's times of day would pass midnight");
        const QDateTime start = now.addSecs(60);
        const QDateTime end = now.addSecs(3600);
        db.exec(
            QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) VALUES (?, ?, ?)"),
            {Subject, start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             end.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
        const auto addSound = [&](const QString &file, const QDateTime &at) {
            db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                                   "VALUES (?, ?, '', ?)"),
                    {Subject, file, at.toString(QStringLiteral("HH:mm:ss"))});
        };
        addSound(QStringLiteral("a.wav"), now.addSecs(-30));
        addSound(QStringLiteral("b.wav"), now.addSecs(120));
        addSound(QStringLiteral("c.wav"), now.addSecs(600));

        auto running = room(db.uri(), now.addSecs(-30));
        TFrm_Subject *run = startRun(*running);
        QVERIFY2(run, qPrintable(running->boxes.texts().join(QLatin1Char('\n'))));
        tickAt(*running, run, now.addSecs(-30));
        QCOMPARE(plays(*running), QStringList{"a.wav"});
        running->clock.set(now);
        run->candidateScreen->secondTimer->timeout();
        const QString countdown = run->candidateScreen->Lbl_countdown->text();
        const QString before = playTimes(run);

        const Tool delay = tessivoxDb({QStringLiteral("delay"), db.uri(), Subject, "10"});
        QCOMPARE(delay.code, 0);
        QVERIFY2(delay.out.contains(QStringLiteral("2 instructions moved")), qPrintable(delay.out));
        QTRY_VERIFY_WITH_TIMEOUT(playTimes(run) != before, NoticeWaitMs);
        QCOMPARE(run->Lbl_Endtime->text(), running->formats.dateTime(end.addSecs(600)));
        run->candidateScreen->secondTimer->timeout();
        QVERIFY2(run->candidateScreen->Lbl_countdown->text() != countdown,
                 qPrintable(run->candidateScreen->Lbl_countdown->text()));

        // Nothing at the old seconds; each at its new one; a.wav never again.
        tickAt(*running, run, now.addSecs(120));
        tickAt(*running, run, now.addSecs(600));
        QCOMPARE(plays(*running), QStringList{"a.wav"});
        tickAt(*running, run, now.addSecs(720));
        tickAt(*running, run, now.addSecs(1200));
        QCOMPARE(plays(*running), (QStringList{"a.wav", "b.wav", "c.wav"}));

        QFile log(QDir(running->db.dataFolder() + QStringLiteral("/run-log"))
                      .filePath(now.date().toString(QStringLiteral("yyyy-MM-dd")) + ".log"));
        QTRY_VERIFY(log.exists());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QCOMPARE(text.count(QStringLiteral("\tschedule changed\t")), 1);
        QVERIFY2(text.contains(QStringLiteral("moved ") + now.addSecs(120).toString("HH:mm:ss")),
                 qPrintable(text));
    }

    // The rooms play by the time of day: a delay that would carry an
    // instruction over midnight, either way, is refused and moves nothing.
    void aDelayNeverCarriesAnInstructionOverMidnight_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("justPastMidnight");
        QTest::newRow("a whole day less a minute") << 1439 << false;
        QTest::newRow("to just past midnight") << 0 << true;
        QTest::newRow("brought forward into yesterday") << -1439 << false;
    }
    void aDelayNeverCarriesAnInstructionOverMidnight()
    {
        QFETCH(int, minutes);
        QFETCH(bool, justPastMidnight);
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        const QDateTime now = serverNow(db);
        const QDateTime second = now.addSecs(120);
        if (second.date() != now.date())
            QSKIP("the instruction would be tomorrow's");
        if (justPastMidnight)
            minutes = int(second.secsTo(QDateTime(now.date().addDays(1), QTime(0, 0))) / 60) + 1;
        const QString at = second.toString(QStringLiteral("HH:mm:ss"));
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES (?)"), {Subject});
        db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                               "VALUES (?, 'a.wav', '', ?)"),
                {Subject, at});

        const Tool delay =
            tessivoxDb({QStringLiteral("delay"), db.uri(), Subject, QString::number(minutes)});
        QCOMPARE(delay.code, 2);
        QVERIFY2(delay.err.contains(QStringLiteral("past midnight")), qPrintable(delay.err));
        QCOMPARE(db.rows(QStringLiteral("SELECT playtime FROM sound")).value(0).value(0), at);
    }

    // The editor replaces a subject's rows whole: a row it keeps is still
    // the instruction the running room played, even at another second.
    void anInstructionTheEditorMovesAfterItPlayedNeverPlaysAgain()
    {
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        const QDateTime now = serverNow(db);
        // Half a minute back to an hour ahead, all on one day.
        if (now.time() > QTime(23, 0) || now.time() < QTime(0, 1))
            QSKIP("the exam's times of day would pass midnight");
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES (?)"), {Subject});
        for (const auto &[file, second] : {std::pair{"a.wav", -30}, std::pair{"b.wav", 120}})
            db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                                   "VALUES (?, ?, '', ?)"),
                    {Subject, QString::fromLatin1(file),
                     now.addSecs(second).toString(QStringLiteral("HH:mm:ss"))});
        auto running = room(db.uri(), now.addSecs(-30));
        TFrm_Subject *run = startRun(*running);
        QVERIFY(run);
        tickAt(*running, run, now.addSecs(-30));
        const QString before = playTimes(run);

        auto admin = room(db.uri(), now);
        TFrm_config *editor = openEditor(admin->shell, Subject);
        QVERIFY(editor);
        editor->ListView1->topLevelItem(0)->setSelected(true);
        editor->ListView1Click();
        editor->DateTimePicker1->setTime(now.addSecs(300).time());
        QTest::mouseClick(editor->FlatButton1, Qt::LeftButton);
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(playTimes(run) != before, NoticeWaitMs);

        tickAt(*running, run, now.addSecs(120));
        tickAt(*running, run, now.addSecs(300));
        QCOMPARE(plays(*running), (QStringList{"a.wav", "b.wav"}));
    }

    // The editor stores a new recording on a connection of its own: that
    // change, like the list's, is no news to the administrator who made it.
    void anEditorsOwnSaveBringsNoNotice()
    {
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES (?)"), {Subject});
        const QDateTime now = serverNow(db);
        auto admin = room(db.uri(), now);
        auto office = room(db.uri(), now);
        QSignalSpy changes(admin->watch.get(), &ScheduleWatch::changed);
        TFrm_config *editor = openEditor(admin->shell, Subject);
        QVERIFY(editor);
        admin->shell.Frm_sa->show();
        const QString wav = admin->programFolder.filePath(QStringLiteral("new.wav"));
        TestSounds::writeSilence(wav, 500);
        admin->fileDialog.answer = wav;
        QTest::mouseClick(editor->FBtn_browse, Qt::LeftButton);
        QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QVERIFY2(admin->boxes.texts().endsWith(QStringLiteral("一共修改了1条记录")),
                 qPrintable(admin->boxes.texts().join('|')));

        // Another room's change after it: once its notice is in, the save's
        // notices are too.
        ScheduleTables::transaction(office->data, [&] {
            office->data.ADOQuery1.replace(Statements::updateTitle(QStringLiteral("新标题")));
            office->data.ADOQuery1.execute();
        });
        const qint64 other = office->data.serverProcess();
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(changes.cbegin(), changes.cend(),
                                             [&](const QList<QVariant> &change) {
                                                 return change[0].toLongLong() == other;
                                             }),
                                 NoticeWaitMs);
        QCOMPARE(admin->boxes.notices.size(), 1);
    }

    void upgradeGivesAnOlderCentreDatabaseTheNotice_data()
    {
        QTest::addColumn<QStringList>("older");
        const QString noCount = QStringLiteral("DROP TABLE schedule_changes");
        QTest::newRow("without the notice")
            << QStringList{"DROP FUNCTION tessivox_schedule_changed() CASCADE", noCount};
        QTest::newRow("with the notice but not its count")
            << QStringList{"CREATE OR REPLACE FUNCTION tessivox_schedule_changed() RETURNS trigger "
                           "LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_notify('tessivox_schedule', "
                           "pg_backend_pid()::text); RETURN NULL; END $$",
                           noCount};
    }
    void upgradeGivesAnOlderCentreDatabaseTheNotice()
    {
        QFETCH(QStringList, older);
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        for (const QString &statement : older)
            db.exec(statement);
        const Tool upgrade = tessivoxDb({QStringLiteral("upgrade"), db.uri()});
        QCOMPARE(upgrade.code, 0);
        QVERIFY2(upgrade.out.contains(QStringLiteral("notice of schedule changes")),
                 qPrintable(upgrade.out));
        auto watching = room(db.uri(), serverNow(db));
        TFrm_main *main = watching->start();
        // Listening before the change: the reconnection's re-read came first.
        QTest::qWait(500);
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES (?)"), {Subject});
        QTRY_COMPARE_WITH_TIMEOUT(subjects(main), QStringList{Subject}, NoticeWaitMs);
        QCOMPARE(db.rows(QStringLiteral("SELECT changes FROM schedule_changes")),
                 QList<QStringList>{{QStringLiteral("1")}});
        QVERIFY(!tessivoxDb({QStringLiteral("upgrade"), db.uri()})
                     .out.contains(QStringLiteral("notice of schedule changes")));
    }

    // A recording stored or replaced is news to the rooms, as a row is.
    void aRecordingStoredIsNewsToTheRooms_data()
    {
        QTest::addColumn<bool>("upgraded");
        QTest::newRow("a centre made with its recordings") << false;
        QTest::newRow("an older centre, upgraded") << true;
    }
    void aRecordingStoredIsNewsToTheRooms()
    {
        QFETCH(bool, upgraded);
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        if (upgraded) {
            db.exec(QStringLiteral("DROP TRIGGER tessivox_schedule_changed ON sound_file"));
            const Tool upgrade = tessivoxDb({QStringLiteral("upgrade"), db.uri()});
            QVERIFY2(upgrade.out.contains(QStringLiteral("sound_file)")), qPrintable(upgrade.out));
        }
        auto watching = room(db.uri(), serverNow(db));
        QSignalSpy changes(watching->watch.get(), &ScheduleWatch::changed);
        QTRY_VERIFY(!changes.isEmpty());
        changes.clear();
        db.exec(QStringLiteral("INSERT INTO sound_file (name, sha256, size) VALUES ('a.wav', "
                               "repeat('0', 64), 0)"));
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), NoticeWaitMs);
    }

    void aRoomListensAgainAfterItsServerCameBack()
    {
        const std::unique_ptr<TestServer> server = TestServer::startPrivate();
        ServerDatabase db(*server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        auto watching = room(db.uri(), serverNow(db));
        TFrm_main *main = watching->start();
        QTest::qWait(500);

        server->kill();
        // Long enough for the listener to find its connection broken.
        QTest::qWait(1500);
        server->start();
        db.exec(QStringLiteral("INSERT INTO test (subjectname) VALUES (?)"), {Subject});
        QTRY_COMPARE_WITH_TIMEOUT(subjects(main), QStringList{Subject},
                                  ScheduleWatch::CheckMs + NoticeWaitMs);
    }
};

QTEST_MAIN(TestFollow)
#include "tst_follow.moc"
