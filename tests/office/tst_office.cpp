#include "support/OfficeTools.h"
#include "support/ServerDatabase.h"
#include "support/ShellFixture.h"
#include "support/SkewedClock.h"
#include "support/StalledServer.h"

#include "data/Statements.h"

#include "office/RoomReporter.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "controls/TFlatComboBox.h"
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <functional>
#include <optional>

namespace {

const QString Tools = qEnvironmentVariable("TESSIVOX_TEST_TOOLS");
constexpr int ArrivalMs = 30'000;

std::unique_ptr<RoomReporter> reporter(const QString &uri, const QString &room,
                                       const QString &folder, const Clock &clock)
{
    // Quick to notice a server coming back or tables appearing.
    return std::make_unique<RoomReporter>(
        RoomReporter::Room{uri, room, QStringLiteral("test"), folder, 1000, 200, 600'000, 200},
        clock);
}

// "run started", then plays (or the kinds given) one second apart from 08:00:01.
void recordRun(RoomReporter &room, const Clock &clock, const QStringList &kinds)
{
    room.record({.at = clock.now(),
                 .kind = QStringLiteral("run started"),
                 .subject = QStringLiteral("语文")});
    for (int i = 0; i < kinds.size(); ++i)
        room.record({.at = clock.now(),
                     .kind = kinds[i],
                     .second = QTime(8, 0).addSecs(i + 1),
                     .delayMs = kinds[i] == QLatin1String("played") ? std::optional<qint64>(i + 1)
                                                                    : std::nullopt,
                     .file = QStringLiteral("a.wav")});
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The parts of one case of a room whose reports are held up: what holds
// them up, then what lets them through.
struct Trouble
{
    TestServer &server;
    ServerDatabase &db;
    QString folder;
    SystemClock clock;
    std::unique_ptr<RoomReporter> room;

    QString log() const { return folder + QDate::currentDate().toString("/yyyy-MM-dd.log"); }
};
using Step = std::function<void(Trouble &)>;

} // namespace

Q_DECLARE_METATYPE(Step)

class TestOffice : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_shared;
    std::unique_ptr<TestServer> m_private;

private slots:
    void initTestCase()
    {
        m_shared = std::make_unique<TestServer>();
        m_private = TestServer::startPrivate();
    }

    void cleanupTestCase() { m_private.reset(); }

    // Two rooms on one server, one of them with its clock 3 s ahead.
    void theOfficeSeesEveryRoom()
    {
        ServerDatabase db(*m_shared);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        // Still today: in the last hour of a day an hour ahead is tomorrow,
        // and the next instruction is one of today's.
        const QTime now = QTime::currentTime();
        const QTime inAnHour = now.hour() < 23 ? now.addSecs(3600) : QTime(23, 59, 59);
        db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                               "VALUES ('语文', 'a.wav', '', ?)"),
                {inAnHour.toString(QStringLiteral("HH:mm:ss"))});
        QTemporaryDir dir;
        SystemClock rightClock;
        SkewedClock aheadClock(3000);
        auto one = reporter(db.uri(), QStringLiteral("Room 1"), dir.filePath("1"), rightClock);
        auto two = reporter(db.uri(), QStringLiteral("Room 2"), dir.filePath("2"), aheadClock);
        recordRun(*one, rightClock, {QStringLiteral("played")});
        recordRun(*two, aheadClock, {QStringLiteral("played"), QStringLiteral("missed")});
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, "SELECT count(*) FROM room WHERE clock_offset_ms IS NOT NULL "
                         "AND state = 'running'"),
            QStringLiteral("2"), ArrivalMs);
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, "SELECT count(*) FROM room_event"),
                                  QStringLiteral("5"), ArrivalMs);

        const Tool text = tessivoxDb({QStringLiteral("status"), db.uri()});
        QCOMPARE(text.code, 1);
        const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5); // heading, connection slots, column names, two rooms
        QVERIFY2(lines[3].startsWith(QStringLiteral("Room 2")) &&
                     lines[3].endsWith(QStringLiteral("clock off, 1 missed")),
                 qPrintable(text.out));
        QVERIFY2(lines[4].startsWith(QStringLiteral("Room 1")) &&
                     lines[4].contains(QStringLiteral("running 语文")) &&
                     lines[4].contains(inAnHour.toString(QStringLiteral("HH:mm:ss"))),
                 qPrintable(text.out));

        const Tool json =
            tessivoxDb({QStringLiteral("status"), db.uri(), QStringLiteral("--json")});
        QCOMPARE(json.code, 1);
        const QJsonArray rooms = QJsonDocument::fromJson(json.out.toUtf8())["rooms"].toArray();
        QCOMPARE(rooms.size(), 2);
        QVERIFY(qAbs(rooms[0]["clockOffsetMs"].toDouble() - 3000) < 500);
        QVERIFY(qAbs(rooms[1]["clockOffsetMs"].toDouble()) < 500);
        QCOMPARE(rooms[1]["played"].toInt(), 1);
        QCOMPARE(rooms[1]["worstDelayMs"].toInt(), 1);
    }

    void statusExitsByTheRooms_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after the URI
        QTest::addColumn<QString>("rooms");         // room rows inserted
        QTest::addColumn<int>("code");

        QTest::newRow("every room well")
            << QStringList{} << "('Room 1', '0.1', now(), 'idle', NULL, 200)" << 0;
        QTest::newRow("a room not seen for 3 minutes")
            << QStringList{} << "('Room 1', '0.1', now() - interval '3 minutes', 'idle', NULL, 0)"
            << 1;
        QTest::newRow("a clock 1.2 s off")
            << QStringList{"--json"} << "('Room 1', '0.1', now(), 'idle', NULL, -1200)" << 1;
        QTest::newRow("no number of seconds to watch")
            << QStringList{"--watch", "0"} << QString() << 2;
        QTest::newRow("a database file") << QStringList{"data/asdf.mdb"} << QString() << 2;
    }

    void statusExitsByTheRooms()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, rooms);
        QFETCH(int, code);

        ServerDatabase db(*m_shared);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        if (!rooms.isEmpty())
            db.exec(QStringLiteral("INSERT INTO room VALUES ") + rooms);
        const bool file = arguments.value(0).endsWith(QLatin1String(".mdb"));
        QCOMPARE(tessivoxDb(QStringList{QStringLiteral("status")} +
                            (file ? arguments : QStringList{db.uri()} + arguments))
                     .code,
                 code);
    }

    void statusSaysWhatKeepsItFromTheRooms_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said"); // on the error output
        QTest::newRow("a server that hangs") << "stalled" << 2 << "服务器没有应答";
        QTest::newRow("a centre database made before the office's tables")
            << "old" << 2 << "tessivox-db upgrade";
        QTest::newRow("fewer connections than the rooms seen need")
            << "rooms" << 0 << "set max_connections to";
    }

    void statusSaysWhatKeepsItFromTheRooms()
    {
        QFETCH(QString, trouble);
        QFETCH(int, code);
        QFETCH(QString, said);

        ServerDatabase db(*m_private);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        if (trouble == QLatin1String("old"))
            db.exec(QStringLiteral("DROP TABLE room, room_event"));
        if (trouble == QLatin1String("rooms"))
            db.exec(QStringLiteral("INSERT INTO room SELECT 'Room ' || i, '0.1', now(), 'idle', "
                                   "NULL, 0 FROM generate_series(1, 50) i"));
        std::optional<StalledServer> stalled;
        if (trouble == QLatin1String("stalled"))
            stalled.emplace(*m_private);
        const Tool status = tessivoxDb({QStringLiteral("status"), db.uri()});
        stalled.reset();
        QCOMPARE(status.code, code);
        QVERIFY2(status.err.contains(said), qPrintable(status.err));
    }

    void aRunOnAClockOffTheServersWarnsOnce_data()
    {
        QTest::addColumn<qint64>("offsetMs");
        QTest::addColumn<QStringList>("notices");

        QTest::newRow("3 s ahead")
            << qint64(3000) << QStringList{"本机时钟比服务器快 3.0 秒，本场考试仍按本机时钟播放。"};
        QTest::newRow("3 s behind")
            << qint64(-3000)
            << QStringList{"本机时钟比服务器慢 3.0 秒，本场考试仍按本机时钟播放。"};
        QTest::newRow("within the limit") << qint64(0) << QStringList{};
    }

    void aRunOnAClockOffTheServersWarnsOnce()
    {
        QFETCH(qint64, offsetMs);
        QFETCH(QStringList, notices);

        ServerDatabase db(*m_shared);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        ShellFixture f;
        SkewedClock clock(offsetMs);
        auto room =
            reporter(db.uri(), QStringLiteral("Room 3"), f.db.dir() + "/data/run-log", clock);
        QTRY_VERIFY_WITH_TIMEOUT(room->clockOffsetMs().has_value(), ArrivalMs);
        f.shell.reporter = room.get();
        f.db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 08:00:00"),
                        QStringLiteral("2026-06-07 10:00:00"));
        f.db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QString(), QTime(9, 0));
        TFrm_main *main = f.start();
        main->ComboBox1->addItem(QStringLiteral("语文"));
        main->ComboBox1->setCurrentIndex(main->ComboBox1->count() - 1);
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QVERIFY(f.shell.Frm_Subject);
        // A later measurement does not warn again.
        emit room->clockOffsetMeasured(offsetMs);
        QCOMPARE(f.boxes.notices, notices);
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, "SELECT kind, subject FROM room_event WHERE room = 'Room 3'"),
            QStringLiteral("run started 语文"), ArrivalMs);
        f.shell.Frm_Subject->close();
        ShellFixture::settle();
    }

    // The roles tessivox-db grants prints: a room writes its own events and
    // row; events under another room's name are refused and set aside, and
    // hold up nothing.
    void aRoomWritesOnlyAsItself()
    {
        ServerDatabase db(*m_shared);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        CentreRoles roles(db);
        const QString user = roles.addRoom(QStringLiteral("r7"));
        QTemporaryDir dir;
        SystemClock clock;
        auto own = reporter(roles.uriAs(user), user, dir.filePath("own"), clock);
        auto other =
            reporter(roles.uriAs(user), QStringLiteral("Room 8"), dir.filePath("other"), clock);
        recordRun(*own, clock, {QStringLiteral("played")});
        recordRun(*other, clock, {QStringLiteral("played")});
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, "SELECT room, count(*) FROM room_event GROUP BY room"),
            user + QStringLiteral(" 2"), ArrivalMs);
        const QString log =
            dir.filePath("other") + QDate::currentDate().toString("/yyyy-MM-dd.log");
        QTRY_VERIFY_WITH_TIMEOUT(readAll(log).contains("\tsome events refused\t"), ArrivalMs);
        QTRY_COMPARE_WITH_TIMEOUT(readAll(dir.filePath("other") + "/office.refused").count("\n"), 2,
                                  ArrivalMs);
        QVERIFY(readAll(log).contains("office cannot see this room"));
        QCOMPARE(firstRow(db, "SELECT string_agg(name, ',') FROM room"), user);
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(dir.filePath("other") + "/office.journal").size(), 0,
                                  ArrivalMs);
    }

    // An event the server refuses (a value it cannot take) is set aside with
    // the reason; the ones behind it arrive, and the office sees the room
    // as a problem.
    void aRefusedEventHoldsUpNoOther()
    {
        ServerDatabase db(*m_shared);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        QTemporaryDir dir;
        const QString folder = dir.filePath("run-log");
        QDir().mkpath(folder);
        QFile journal(folder + "/office.journal");
        QVERIFY(journal.open(QIODevice::WriteOnly));
        const QStringList seconds{"08:00:01", "25:99:00", "08:00:03"};
        for (int seq = 1; seq <= 3; ++seq)
            journal.write(
                QStringLiteral(R"({"room":"Room 9","run":"r","seq":%1,"at":"%2",)"
                               R"("kind":"played","second":"%3"})"
                               "\n")
                    .arg(seq)
                    .arg(QDateTime::currentDateTime().toString(Qt::ISODate), seconds[seq - 1])
                    .toUtf8());
        journal.close();
        SystemClock clock;
        auto room = reporter(db.uri(), QStringLiteral("Room 9"), folder, clock);
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, "SELECT string_agg(seq::text, ',' ORDER BY seq) "
                                               "FROM room_event"),
                                  QStringLiteral("1,3"), ArrivalMs);
        QTRY_VERIFY_WITH_TIMEOUT(!firstRow(db, "SELECT refused FROM room").isEmpty(), ArrivalMs);
        const QString refused = readAll(folder + "/office.refused");
        QVERIFY2(refused.contains("25:99:00") && refused.contains("\"refused\""),
                 qPrintable(refused));
        QCOMPARE(readAll(folder + QDate::currentDate().toString("/yyyy-MM-dd.log"))
                     .count("\tsome events refused\t"),
                 1);
        const Tool status = tessivoxDb({QStringLiteral("status"), db.uri()});
        QCOMPARE(status.code, 1);
        QVERIFY2(status.out.contains("some events refused: "), qPrintable(status.out));
        // Read and moved away: the room is well again.
        QVERIFY(QFile::remove(folder + "/office.refused"));
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, "SELECT refused IS NULL FROM room"),
                                  QStringLiteral("true"), ArrivalMs);
    }

    // A run made while the room's clock was an hour ahead is not its last
    // once the clock is mended: the server's receipt orders the runs.
    void theServersClockOrdersRuns()
    {
        ServerDatabase db(*m_shared);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        QTemporaryDir dir;
        SkewedClock ahead(3600'000);
        auto room = reporter(db.uri(), QStringLiteral("Room 10"), dir.path(), ahead);
        recordRun(*room, ahead, {QStringLiteral("played")});
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, "SELECT count(*) FROM room_event"),
                                  QStringLiteral("2"), ArrivalMs);
        room.reset();
        SystemClock mended;
        room = reporter(db.uri(), QStringLiteral("Room 10"), dir.path(), mended);
        recordRun(*room, mended, {QStringLiteral("missed")});
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, "SELECT count(*) FROM room_event"),
                                  QStringLiteral("4"), ArrivalMs);
        const QJsonObject shown =
            QJsonDocument::fromJson(
                tessivoxDb({QStringLiteral("status"), db.uri(), QStringLiteral("--json")})
                    .out.toUtf8())["rooms"][0]
                .toObject();
        QCOMPARE(shown["missed"].toInt(), 1);
        QCOMPARE(shown["run"].toString(),
                 firstRow(db, "SELECT run_id FROM room_event WHERE kind = 'missed'"));
    }

    void aNameTheServerWouldCutIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");

        QTest::newRow("21 Chinese characters, 63 bytes") << QString(21, QChar(0x8003)) << false;
        QTest::newRow("22 Chinese characters, 66 bytes") << QString(22, QChar(0x8003)) << true;
        QTest::newRow("64 letters") << QString(64, QLatin1Char('r')) << true;
    }

    void aNameTheServerWouldCutIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);

        const QString problem = RoomReporter::nameProblem(name);
        QCOMPARE(!problem.isEmpty(), refused);
        if (refused)
            QVERIFY2(problem.startsWith(QStringLiteral("考场名称过长")), qPrintable(problem));
    }

    void everyEventArrivesOnce_data()
    {
        QTest::addColumn<Step>("holdUp");
        QTest::addColumn<Step>("letThrough");

        QTest::newRow("the server stopped in the middle of a run") << Step([](Trouble &t) {
            t.room = reporter(t.db.uri(), QStringLiteral("Room 4"), t.folder, t.clock);
            recordRun(*t.room, t.clock, {"played", "played"});
            QTRY_COMPARE_WITH_TIMEOUT(firstRow(t.db, "SELECT count(*) FROM room_event"),
                                      QStringLiteral("3"), ArrivalMs);
            t.server.stop();
            for (int i = 3; i <= 6; ++i)
                t.room->record({.at = t.clock.now(),
                                .kind = QStringLiteral("played"),
                                .second = QTime(8, 0).addSecs(i),
                                .delayMs = i});
            QTRY_VERIFY(QFileInfo(t.folder + "/office.journal").size() > 0);
            QTRY_VERIFY_WITH_TIMEOUT(readAll(t.log()).contains("\tserver lost\t"), ArrivalMs);
        }) << Step([](Trouble &t) {
            t.server.start();
            QTRY_VERIFY_WITH_TIMEOUT(readAll(t.log()).contains("\tserver back\n"), ArrivalMs);
        });
        QTest::newRow("the room killed in the middle of a run, its journal sent twice")
            << Step([](Trouble &t) {
                   t.server.stop();
                   QProcess helper;
                   helper.start(Tools + "/office_room_helper",
                                {t.db.uri(), t.folder, QStringLiteral("Room 5"), "6"});
                   QVERIFY(helper.waitForReadyRead(30'000));
                   QCOMPARE(helper.readAllStandardOutput(), QByteArray("recorded\n"));
                   ::kill(pid_t(helper.processId()), SIGKILL);
                   helper.waitForFinished();
                   QVERIFY(QFile::copy(t.folder + "/office.journal", t.folder + ".copy"));
               })
            << Step([](Trouble &t) {
                   t.server.start();
                   t.room = reporter(t.db.uri(), QStringLiteral("Room 5"), t.folder, t.clock);
                   QTRY_COMPARE_WITH_TIMEOUT(firstRow(t.db, "SELECT count(*) FROM room_event"),
                                             QStringLiteral("7"), ArrivalMs);
                   // A second program with the same journal sends nothing new.
                   QDir().mkpath(t.folder + "2");
                   QVERIFY(QFile::rename(t.folder + ".copy", t.folder + "2/office.journal"));
                   t.room = reporter(t.db.uri(), QStringLiteral("Room 5"), t.folder + "2", t.clock);
                   QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(t.folder + "2/office.journal").size(), 0,
                                             ArrivalMs);
               });
        QTest::newRow("the office's tables added during the run") << Step([](Trouble &t) {
            t.db.exec("DROP TABLE room_event");
            t.db.exec("DROP TABLE room");
            t.room = reporter(t.db.uri(), QStringLiteral("Room 6"), t.folder, t.clock);
            recordRun(*t.room, t.clock, QStringList(6, "played"));
            QTRY_VERIFY_WITH_TIMEOUT(readAll(t.log()).contains("office cannot see this room"),
                                     ArrivalMs);
            QTest::qWait(1000);
            QCOMPARE(readAll(t.log()).count("office cannot see this room"), 1);
        }) << Step([](Trouble &t) {
            QCOMPARE(tessivoxDb({QStringLiteral("upgrade"), t.db.uri()}).code, 0);
        });
        QTest::newRow("a centre database from before the office's functions")
            << Step([](Trouble &t) {
                   t.db.exec("DROP FUNCTION room_report; DROP FUNCTION room_events; "
                             "ALTER TABLE room DROP COLUMN refused; "
                             "ALTER TABLE room_event DROP COLUMN received_at");
                   t.room = reporter(t.db.uri(), QStringLiteral("Room 7"), t.folder, t.clock);
                   recordRun(*t.room, t.clock, QStringList(6, "played"));
                   QTRY_VERIFY_WITH_TIMEOUT(
                       readAll(t.log()).contains("office cannot see this room"), ArrivalMs);
               })
            << Step([](Trouble &t) {
                   const Tool status = tessivoxDb({QStringLiteral("status"), t.db.uri()});
                   QVERIFY2(status.code == 2 && status.err.contains("tessivox-db upgrade adds it"),
                            qPrintable(status.err));
                   const Tool upgrade = tessivoxDb({QStringLiteral("upgrade"), t.db.uri()});
                   QCOMPARE(upgrade.code, 0);
                   QVERIFY2(upgrade.out.contains("room_event.received_at") &&
                                upgrade.out.contains("room_events(jsonb)"),
                            qPrintable(upgrade.out));
               });
    }

    void everyEventArrivesOnce()
    {
        QFETCH(Step, holdUp);
        QFETCH(Step, letThrough);

        QTemporaryDir dir;
        ServerDatabase db(*m_private);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        Trouble trouble{*m_private, db, dir.filePath(QStringLiteral("run-log")), {}, {}};
        holdUp(trouble);
        if (QTest::currentTestFailed())
            return;
        letThrough(trouble);
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, "SELECT count(*), count(DISTINCT seq), min(seq), max(seq), "
                         "count(DISTINCT run_id) FROM room_event"),
            QStringLiteral("7 7 1 7 1"), ArrivalMs);
        QCOMPARE(firstRow(db, "SELECT string_agg(kind, ',' ORDER BY seq) FROM room_event"),
                 QStringLiteral("run started,played,played,played,played,played,played"));
    }

    // The program's end on a server that hangs: the reporter in the middle
    // of a round, the windows' connection open.
    void anExitWaitsForNoServerThatHangs()
    {
        QTemporaryDir dir;
        ServerDatabase db(*m_private);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        SystemClock clock;
        auto data =
            std::make_unique<TDataModule1>(db.uri(), TDataModule1::Mode::ReadWrite, dir.path());
        data->ADOQuery1.replace(Statements::selectTitle());
        data->ADOQuery1.open();
        auto room = reporter(db.uri(), QStringLiteral("Room 1"), dir.path(), clock);
        recordRun(*room, clock, {QStringLiteral("played")});
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, "SELECT count(*) FROM room_event"),
                                  QStringLiteral("2"), ArrivalMs);

        const StalledServer stalled(*m_private);
        recordRun(*room, clock, {QStringLiteral("played")});
        QTest::qWait(500);
        room.reset();
        data.reset();
    }
};

QTEST_MAIN(TestOffice)
#include "tst_office.moc"
