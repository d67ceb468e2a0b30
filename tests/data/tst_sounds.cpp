#include "support/OfficeTools.h"
#include "support/OpenEditor.h"
#include "support/ServerDatabase.h"
#include "support/ShellFixture.h"
#include "support/StalledServer.h"

#include "app/RoomAnnouncements.h"
#include "app/Shell.h"
#include "data/DbError.h"
#include "data/Query.h"
#include "data/SoundCache.h"
#include "data/SoundStore.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "schedule/SoundFetcher.h"
#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "controls/TFlatComboBox.h"
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimeEdit>
#include <atomic>
#include <thread>

// The recordings of a centre's schedule kept on its server: stored there by
// the office, fetched by each room into its cache and played from it.
namespace {

const QString Subject = QStringLiteral("语文");
const QString Tools = qEnvironmentVariable("TESSIVOX_TEST_TOOLS");
constexpr int ArrivalMs = 20'000;

struct ToolRun
{
    int code = -1;
    QString out;
};

ToolRun runTool(const QStringList &arguments, const QString &workingFolder = {})
{
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(Tools + QStringLiteral("/tessivox-db"), arguments);
    process.waitForFinished(120'000);
    return {process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())};
}

// A WAV file (16-bit mono noise) that spans several of the store's pieces.
QByteArray content(int seed)
{
    const quint32 samples = quint32(SoundStore::ChunkBytes + 500);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(44100) << quint32(88200) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples * 2);
    QRandomGenerator random(seed);
    for (quint32 i = 0; i < samples; ++i)
        out << qint16(random.bounded(-3000, 3000));
    return bytes;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A schedule of a.wav at 08:00:00 and b.wav at 08:00:10, whose files the
// office uploaded from a folder of its own.
struct Centre
{
    explicit Centre(const TestServer &server) : db(server)
    {
        if (runTool({QStringLiteral("create"), db.uri()}).code != 0)
            qFatal("tessivox-db create failed");
        db.exec(QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) VALUES (?, ?, "
                               "?)"),
                {Subject, QStringLiteral("2026-06-07 08:00:00"),
                 QStringLiteral("2026-06-07 10:00:00")});
        for (const auto &[file, at] : {std::pair("a.wav", "08:00:00"), {"b.wav", "08:00:10"}})
            db.exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                                   "VALUES (?, ?, '', ?)"),
                    {Subject, QString::fromLatin1(file), QString::fromLatin1(at)});
        write(office.filePath("a.wav"), content(1));
        write(office.filePath("b.wav"), content(2));
    }
    ToolRun upload()
    {
        return runTool(
            {QStringLiteral("upload"), db.uri(), QStringLiteral("--sound-dir"), office.path()});
    }

    ServerDatabase db;
    QTemporaryDir office;
};

// A room's PC on the centre's server, its sound folder empty, with the
// fetcher the program starts.
struct Room
{
    explicit Room(const QString &uri)
        : fixture(nullptr, uri),
          fetcher({uri, SoundCache::folderIn(fixture.data.dataFolder()),
                   Platform::soundFolderOf(fixture.platform.programFolder), 200})
    {
        fixture.clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 50)));
        fixture.shell.sounds = &fetcher;
    }
    ~Room() { fixture.shell.sounds = nullptr; }

    TFrm_main *main()
    {
        if (!fixture.shell.Frm_main)
            fixture.start();
        return fixture.shell.Frm_main;
    }
    QString said() { return main()->Lbl_sounds->text(); }

    TFrm_Subject *startRun()
    {
        main()->show();
        main()->ComboBox1->setCurrentIndex(main()->ComboBox1->findText(Subject));
        QTest::mouseClick(main()->FBtn_ok, Qt::LeftButton);
        if (ShellFixture::waitForLoad(fixture.shell.Frm_Subject))
            fixture.players.last()->missingFilesFail = true;
        return fixture.shell.Frm_Subject;
    }
    void quitRun()
    {
        fixture.shell.Frm_Subject->close();
        ShellFixture::settle();
    }
    // The run's tick at the second given (from 08:00:00): the file playing.
    QString playAt(int second)
    {
        TFrm_Subject *run = fixture.shell.Frm_Subject;
        fixture.clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0).addSecs(second).addMSecs(2)));
        run->Timer1->timeout();
        for (int guard = 0; run->Timer1->interval() == 1 && guard < 10; ++guard) {
            fixture.clock.advance(1);
            run->Timer1->timeout();
        }
        return fixture.players.last()->playing();
    }
    QString runLog() const
    {
        return QString::fromUtf8(
            read(fixture.data.dataFolder() + QStringLiteral("/run-log/2026-06-07.log")));
    }
    QStringList cached() const
    {
        return QDir(SoundCache::folderIn(fixture.data.dataFolder())).entryList(QDir::Files);
    }

    ShellFixture fixture;
    SoundFetcher fetcher;
};

} // namespace

class TestSounds : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_shared;

private slots:
    void initTestCase() { m_shared = std::make_unique<TestServer>(); }

    void uploadSendsWhatTheServerLacks_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("report");

        QTest::newRow("nothing changed") << "" << 0 << "sent (0)";
        QTest::newRow("a file changed") << "b.wav" << 0 << "sent (1): b.wav";
        QTest::newRow("a file found nowhere")
            << "c.wav" << 1 << "not found in the folder nor on the server (1): c.wav";
    }
    void uploadSendsWhatTheServerLacks()
    {
        QFETCH(QString, change);
        QFETCH(int, code);
        QFETCH(QString, report);
        Centre centre(*m_shared);
        const ToolRun first = centre.upload();
        QCOMPARE(first.code, 0);
        QVERIFY2(first.out.contains("sent (2): a.wav, b.wav"), qPrintable(first.out));
        if (change == QLatin1String("b.wav"))
            write(centre.office.filePath(change), content(3));
        if (change == QLatin1String("c.wav"))
            centre.db.exec("INSERT INTO sound (subjectname, filename, explain, playtime) VALUES "
                           "('语文', 'c.wav', '', '08:00:20')");
        const ToolRun second = centre.upload();
        QCOMPARE(second.code, code);
        QVERIFY2(second.out.contains(report), qPrintable(second.out));
    }

    // The tryout: the files only on the office PC, a room's sound
    // folder empty.
    void aRoomWithAnEmptySoundFolderPlaysTheServersFiles()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        QVERIFY(room.startRun());
        QCOMPARE(read(room.playAt(0)), content(1));
        QCOMPARE(read(room.playAt(10)), content(2));
        QVERIFY(QDir(Platform::soundFolderOf(room.fixture.platform.programFolder)).isEmpty());
    }

    void aFileChangedOnTheServerIsFetchedAgainAndPlays()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        write(centre.office.filePath("b.wav"), content(3));
        QCOMPARE(centre.upload().code, 0);
        // A run fetches what changed before it plays.
        QVERIFY(room.startRun());
        QTRY_VERIFY_WITH_TIMEOUT(room.cached().size() == 3, ArrivalMs);
        QCOMPARE(read(room.playAt(0)), content(1));
        QCOMPARE(read(room.playAt(10)), content(3));
    }

    // Replaced on the server while the run waits for it, a recording plays
    // with the content the schedule names at its second, and the log says
    // which content that was.
    void aFileReplacedDuringARunPlaysItsNewContent()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        TFrm_Subject *run = room.startRun();
        QVERIFY(run);
        QCOMPARE(read(room.playAt(0)), content(1));
        write(centre.office.filePath("b.wav"), content(3));
        QCOMPARE(centre.upload().code, 0);
        run->followServer();
        QTRY_VERIFY_WITH_TIMEOUT(room.cached().size() == 3, ArrivalMs);
        QCOMPARE(read(room.playAt(10)), content(3));
        const QString digest = SoundStore::sha256Of(centre.office.filePath("b.wav")).left(8);
        QTRY_VERIFY2(room.runLog().contains(" ms\tb.wav (" + digest + ")"),
                     qPrintable(room.runLog()));
    }

    // An announcement and an instruction of one second: the office's word
    // goes first. The instruction is cut at once, and the log says it was
    // heard for no time at all.
    void anAnnouncementGoesFirstAtAnInstructionsSecond()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        const QString notice(64, QLatin1Char('a'));
        centre.db.exec(QStringLiteral("INSERT INTO announcement (day, second, file, sha256, size, "
                                      "text) VALUES ('2026-06-07', '08:00:00', 'n.wav', ?, 1, "
                                      "'考生请注意')"),
                       {notice});
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        Shell &shell = room.fixture.shell;
        RoomAnnouncements announcements(shell, *room.fixture.data.link(),
                                        {QStringLiteral("Room"), room.fixture.data.dataFolder()});
        const auto forget = qScopeGuard([&shell] { shell.announcements = nullptr; });
        shell.announcements = &announcements;
        FakeMediaPlayer *speaker = room.fixture.players.last();
        const SoundCache cache(SoundCache::folderIn(room.fixture.data.dataFolder()));
        speaker->lengths.insert(cache.pathFor(notice), 5000);
        TFrm_Subject *run = room.startRun();
        QVERIFY(run);
        const QString a = SoundStore::sha256Of(centre.office.filePath("a.wav"));
        room.fixture.players.last()->lengths.insert(cache.pathFor(a), 10000);

        // Its second came: the list read again plays it at once.
        room.fixture.clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0, 0, 2)));
        centre.db.exec(QStringLiteral("UPDATE announcement SET text = text"));
        QTRY_COMPARE_WITH_TIMEOUT(speaker->playing(), cache.pathFor(notice), ArrivalMs);
        QCOMPARE(room.playAt(0), QString());
        QCOMPARE(speaker->playing(), cache.pathFor(notice));
        QVERIFY2(run->Memo_content->toPlainText().startsWith(QStringLiteral("考务通知：")),
                 qPrintable(run->Memo_content->toPlainText()));
        QTRY_VERIFY2(room.runLog().contains("\tcut off\t08:00:00\ta.wav (" + a.left(8) +
                                            ")\tby announcement #1, heard 0 ms"),
                     qPrintable(room.runLog()));
    }

    // Bytes flipped in a cached file, the size kept: a run about to play it
    // reads it through and has it fetched again before its second.
    void aDamagedCachedFileIsFetchedAgainForTheRun()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        const QString cached = SoundCache::folderIn(room.fixture.data.dataFolder()) + "/" +
                               SoundStore::sha256Of(centre.office.filePath("a.wav")) + ".wav";
        QByteArray damaged = content(1);
        damaged[5000] = char(~damaged[5000]);
        write(cached, damaged);
        QVERIFY(room.startRun());
        QTRY_COMPARE_WITH_TIMEOUT(read(cached), content(1), ArrivalMs);
        QCOMPARE(read(room.playAt(0)), content(1));
    }

    // The cache's folder gone: the room says so and fetches everything
    // again; while it cannot, the reason stays in view, not a count.
    void aCacheFolderGoneIsNoticedAndWhyItCannotBeFilledIsSaid()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        const QString folder = SoundCache::folderIn(room.fixture.data.dataFolder());
        QVERIFY(QDir(folder).removeRecursively());
        // A file where the folder was: nothing can be written there.
        write(folder, "not a folder");
        QTRY_VERIFY_WITH_TIMEOUT(room.said().startsWith("声音文件接收失败"), ArrivalMs);
        // Tried again and again meanwhile, and still said why.
        QTest::qWait(1000);
        QVERIFY2(room.said().startsWith("声音文件接收失败"), qPrintable(room.said()));
        QVERIFY2(room.main()->Lbl_sounds->toolTip().contains("cannot create"),
                 qPrintable(room.main()->Lbl_sounds->toolTip()));
        QVERIFY(QFile::remove(folder));
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        QCOMPARE(room.cached().size(), 2);
    }

    // Pieces of b.wav missing on the server: its download breaks off after
    // the first, as when a fetch is cut off.
    void aBrokenDownloadLeavesNothingARunWouldPlay()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        centre.db.exec("DELETE FROM sound_file_chunk WHERE seq = 1 AND sha256 = (SELECT sha256 "
                       "FROM sound_file WHERE name = 'a.wav')");
        Room room(centre.db.uri());
        // What a fetcher killed in the middle leaves behind.
        const QString cache = SoundCache::folderIn(room.fixture.data.dataFolder());
        QVERIFY(QDir().mkpath(cache));
        write(cache + "/" + SoundStore::sha256Of(centre.office.filePath("a.wav")) + ".wav.Ab12Cd",
              content(1).left(1000));
        QSignalSpy failures(&room.fetcher, &SoundFetcher::failed);
        room.main();
        QTRY_VERIFY_WITH_TIMEOUT(room.said().startsWith("声音文件接收失败"), ArrivalMs);
        // The reason whole, where the line is too short for it.
        QVERIFY2(room.main()->Lbl_sounds->toolTip().contains("a.wav"),
                 qPrintable(room.main()->Lbl_sounds->toolTip()));
        QVERIFY(room.startRun());
        QTest::qWait(600);
        // Said once, tried again; the file after it arrived all the same.
        QCOMPARE(failures.size(), 1);
        QCOMPARE(room.cached().size(), 1);
        QCOMPARE(room.playAt(0), QString());
        QCOMPARE(room.fixture.boxes.notices.last(),
                 QStringLiteral("声音控制器不正确，程序可能无法正常运行 !\n文件：a.wav\n"
                                "原因：尚未从服务器收到这个文件"));
        QCOMPARE(read(room.playAt(10)), content(2));
        QTRY_VERIFY(room.runLog().contains("\t08:00:10\t"));
        QVERIFY2(room.runLog().contains(
                     "\ta.wav (" + SoundStore::sha256Of(centre.office.filePath("a.wav")).left(8) +
                     ")\t声音文件无法播放：not yet "
                     "received from the server"),
                 qPrintable(room.runLog()));
    }

    // A local copy edited by hand names its cached files: a name that is no
    // SHA-256 must not lead a run outside the cache.
    void onlyASha256NamesACachedFile()
    {
        QTemporaryDir folder;
        {
            QSqlDatabase copy = QSqlDatabase::addDatabase("QSQLITE", "copy");
            copy.setDatabaseName(folder.filePath("local-copy.mdb"));
            QVERIFY(copy.open());
            const QString good(64, QLatin1Char('a'));
            for (const QString &statement :
                 {QStringLiteral("CREATE TABLE sound_file (name TEXT, sha256 TEXT, size INTEGER)"),
                  QStringLiteral("INSERT INTO sound_file VALUES ('a.wav', '%1', 1)").arg(good),
                  QStringLiteral("INSERT INTO sound_file VALUES ('b.wav', '../../b', 1)")})
                QVERIFY(!Query::run(copy, {statement, {}}).lastError().isValid());
            QCOMPARE(SoundStore::heldIfKept(copy).keys(), QStringList{"a.wav"});
        }
        QSqlDatabase::removeDatabase("copy");
    }

    // A hash from the server names a path on the room's PC only as the
    // cache's own file: one that climbs out of the cache touches nothing.
    void aHashThatIsNoHashTouchesNoFile()
    {
        QTemporaryDir folder;
        const QString victim = folder.filePath("bin/sound/victim.wav");
        QVERIFY(QDir().mkpath(folder.filePath("bin/sound")));
        write(victim, content(3));
        SoundCache cache(folder.filePath("data/sound-cache"));
        const SoundStore::Held held{"victim.wav", "../../bin/sound/victim",
                                    QFileInfo(victim).size()};

        QCOMPARE(cache.pathFor(held.sha256), QString());
        QVERIFY(!cache.holds(held));
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 cache.receive(held, [](const auto &sink) { sink(content(3)); }));
        QVERIFY(QFile::exists(victim));
        QVERIFY(!QDir(folder.filePath("bin")).exists("sound/victim.wav.tmp"));
    }

    // Every column that names a content by its hash, also on a server
    // upgraded from before the check.
    void theServerTakesOnlyHashes_data()
    {
        QTest::addColumn<QString>("insert"); // %1: the hash
        QTest::addColumn<bool>("upgraded");
        const QString announcement =
            "INSERT INTO announcement (day, second, file, sha256, size) VALUES (current_date, "
            "'23:59:59', 'a.wav', '%1', 1)";
        const QString chunk = "INSERT INTO sound_file_chunk (sha256, seq, data) VALUES ('%1', 0, "
                              "'\\x00')";
        const QString file =
            "INSERT INTO sound_file (name, sha256, size) VALUES ('a.wav', '%1', 1)";
        QTest::newRow("announcement") << announcement << false;
        QTest::newRow("announcement, upgraded") << announcement << true;
        QTest::newRow("chunk") << chunk << false;
        QTest::newRow("chunk, upgraded") << chunk << true;
        QTest::newRow("recording") << file << false;
    }

    void theServerTakesOnlyHashes()
    {
        QFETCH(QString, insert);
        QFETCH(bool, upgraded);
        ServerDatabase db(*m_shared);
        QCOMPARE(runTool({QStringLiteral("create"), db.uri()}).code, 0);
        if (upgraded) {
            db.exec("ALTER TABLE announcement DROP CONSTRAINT announcement_sha256_check");
            db.exec("ALTER TABLE sound_file_chunk DROP CONSTRAINT sound_file_chunk_sha256_check");
            QCOMPARE(runTool({QStringLiteral("upgrade"), db.uri()}).code, 0);
        }
        const QString returning = QStringLiteral(" RETURNING 1");
        QCOMPARE(db.rows(insert.arg("../../bin/sound/victim") + returning), QList<QStringList>());
        QCOMPARE(db.rows(insert.arg(QString(64, QLatin1Char('a'))) + returning),
                 QList<QStringList>{{"1"}});
    }

    // A server that stops answering while the room fetches: the program's
    // exit, which ends the fetcher, waits for no download.
    void aServerThatHangsHoldsUpNoExit()
    {
        const auto server = TestServer::startPrivate();
        Centre centre(*server);
        QCOMPARE(centre.upload().code, 0);
        QTemporaryDir room;
        auto fetcher = std::make_unique<SoundFetcher>(SoundFetcher::Room{
            centre.db.uri(), room.filePath("cache"), room.filePath("sound"), 200});
        QSignalSpy progress(fetcher.get(), &SoundFetcher::progress);
        fetcher->fetch();
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty() && progress.last().at(0).toInt() == 2,
                                 ArrivalMs);
        StalledServer stalled(*server);
        fetcher->fetch();
        // Nothing says when the fetching thread reached the server.
        QTest::qWait(300);
        std::atomic<bool> ended = false;
        std::thread ending([&] {
            fetcher.reset();
            ended = true;
        });
        const auto join = qScopeGuard([&] {
            stalled.resume();
            ending.join();
        });
        QTRY_VERIFY_WITH_TIMEOUT(ended, 10'000);
    }

    void aRoomCutOffFromTheServerPlaysFromItsCache()
    {
        auto server = TestServer::startPrivate();
        Centre centre(*server);
        QCOMPARE(centre.upload().code, 0);
        Room room(centre.db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"), ArrivalMs);
        room.fixture.localCopy().wait();
        server->kill();
        delete room.fixture.shell.Frm_main.data();
        QVERIFY(room.startRun());
        QCOMPARE(read(room.playAt(0)), content(1));
        QCOMPARE(read(room.playAt(10)), content(2));
        room.quitRun();
        server->start();
    }

    // A room tells the office how many of the recordings it holds, under
    // its own login with the grants applied; one that lacks some is a
    // problem before the exam.
    void statusShowsARoomWhoseRecordingsAreNotReady()
    {
        Centre centre(*m_shared);
        CentreRoles roles(centre.db);
        const QString login = roles.addRoom(QStringLiteral("s1"));
        QTemporaryDir folder;
        SystemClock clock;
        {
            RoomReporter room({roles.uriAs(login), login, QStringLiteral("test"), folder.path(),
                               1000, 200, 600'000, 200},
                              clock);
            room.setSoundFiles(10, 12);
            QTRY_COMPARE_WITH_TIMEOUT(
                centre.db.rows("SELECT sound_files_held, sound_files_named FROM room"),
                (QList<QStringList>{{"10", "12"}}), ArrivalMs);
        }
        const ToolRun status = runTool({QStringLiteral("status"), centre.db.uri()});
        QCOMPARE(status.code, 1);
        QVERIFY2(status.out.contains(QStringLiteral("声音文件未就绪 10/12")),
                 qPrintable(status.out));
    }

    // A centre's database made before the recordings: upgrade adds them,
    // the room's columns and the report that carries them, which replaces
    // the older one, and nothing else.
    void upgradeAddsTheRecordings()
    {
        ServerDatabase db(*m_shared);
        QCOMPARE(runTool({QStringLiteral("create"), db.uri()}).code, 0);
        db.exec("DROP TABLE sound_file, sound_file_chunk");
        db.exec("ALTER TABLE room DROP COLUMN sound_files_held, DROP COLUMN sound_files_named");
        db.exec("DROP FUNCTION room_report");
        db.exec("CREATE FUNCTION room_report(text, text, text, text, integer, text) RETURNS void "
                "LANGUAGE sql AS ''");
        // The events' function of a version before the bounds.
        db.exec(
            "CREATE OR REPLACE FUNCTION room_events(events jsonb) RETURNS void LANGUAGE sql AS ''");
        const ToolRun upgrade = runTool({QStringLiteral("upgrade"), db.uri()});
        QCOMPARE(upgrade.code, 0);
        QCOMPARE(db.rows("SELECT room_events((SELECT jsonb_agg(jsonb_build_object('seq', i)) "
                         "FROM generate_series(1, 1001) i))"),
                 QList<QStringList>());
        QVERIFY2(upgrade.out.contains("room.sound_files_held, room.sound_files_named, "
                                      "room_report(text,text,text,text,integer,text,integer,"
                                      "integer), room_events(jsonb), sound_file, sound_file_chunk"),
                 qPrintable(upgrade.out));
        QCOMPARE(db.rows("SELECT count(*) FROM sound_file_chunk, sound_file"),
                 QList<QStringList>{{"0"}});
        // A room of the earlier version still reports, without the counts.
        db.exec("SELECT room_report('Room 1', '1.0', 'idle', NULL, 0, NULL)");
        QCOMPARE(db.rows("SELECT count(*) FROM pg_proc WHERE proname = 'room_report'"),
                 QList<QStringList>{{"1"}});
        QCOMPARE(runTool({QStringLiteral("upgrade"), db.uri()}).code, 0);
    }

    // check on a room's PC, whose cache lies in ./data/sound-cache.
    void checkSaysWhereEachFileIs()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        QTemporaryDir pc;
        QVERIFY(QDir(pc.path()).mkpath("data/sound-cache"));
        QFile::copy(centre.office.filePath("a.wav"),
                    pc.filePath("data/sound-cache/") +
                        SoundStore::sha256Of(centre.office.filePath("a.wav")) + ".wav");
        const QStringList check{QStringLiteral("check"), centre.db.uri(),
                                QStringLiteral("--sound-dir"), pc.path()};
        ToolRun found = runTool(check, pc.path());
        QCOMPARE(found.code, 0);
        QVERIFY2(
            found.out.contains("#1 a.wav: the server holds the file; this PC's cache holds it"),
            qPrintable(found.out));
        QVERIFY2(found.out.contains(
                     "#2 b.wav: the server holds the file; this PC's cache does not hold it yet"),
                 qPrintable(found.out));
        centre.db.exec("INSERT INTO sound (subjectname, filename, explain, playtime) VALUES "
                       "('语文', 'c.wav', '', '08:00:20')");
        ToolRun missing = runTool(check, pc.path());
        QCOMPARE(missing.code, 1);
        QVERIFY2(missing.out.contains("and the server does not hold it"), qPrintable(missing.out));
    }

    // The office's editor on the centre's server: a file from a USB stick
    // goes to the server with the list, and replacing another subject's
    // file is said first.
    void theEditorStoresAFileFromAnyFolder()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        centre.db.exec("INSERT INTO test (subjectname) VALUES ('英语')");
        centre.db.exec("INSERT INTO sound (subjectname, filename, explain, playtime) VALUES "
                       "('英语', 'b.wav', '', '09:00:00')");
        ShellFixture office(nullptr, centre.db.uri());
        TFrm_config *editor = openEditor(office.shell, Subject);
        QTemporaryDir stick;
        for (const auto &[name, seed] : {std::pair("new.wav", 5), {"b.wav", 6}}) {
            write(stick.filePath(name), content(seed));
            office.fileDialog.answer = stick.filePath(name);
            QTest::mouseClick(editor->FBtn_browse, Qt::LeftButton);
            editor->DateTimePicker1->setTime(QTime(8, 0, 20 + seed));
            QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        }
        QCOMPARE(office.boxes.texts(), QStringList{QStringLiteral("其他科目也使用此文件：英语")});
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QTRY_VERIFY(!office.shell.Frm_config);
        QCOMPARE(office.boxes.texts().last(), QStringLiteral("一共修改了4条记录"));
        for (const auto &[name, seed] : {std::pair("new.wav", 5), {"b.wav", 6}})
            QCOMPARE(centre.db.rows("SELECT sha256 FROM sound_file WHERE name = ?", {name}),
                     QList<QStringList>{{SoundStore::sha256Of(stick.filePath(name))}});
        // Only the new content is kept.
        QCOMPARE(centre.db.rows("SELECT count(DISTINCT sha256) FROM sound_file_chunk"),
                 QList<QStringList>{{"3"}});

        // A chosen file gone before "完成": the list stays as it was.
        office.shell.Frm_sa->Fbtn_enterClick();
        editor = office.shell.Frm_config;
        write(stick.filePath("gone.wav"), content(7));
        office.fileDialog.answer = stick.filePath("gone.wav");
        QTest::mouseClick(editor->FBtn_browse, Qt::LeftButton);
        QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        QFile::remove(stick.filePath("gone.wav"));
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QVERIFY(office.shell.Frm_config);
        QVERIFY2(office.boxes.texts().last().startsWith("声音文件未能保存到服务器，指令列表未保存"),
                 qPrintable(office.boxes.texts().last()));
        QCOMPARE(centre.db.rows("SELECT count(*) FROM sound WHERE filename = 'gone.wav'"),
                 QList<QStringList>{{"0"}});
    }

    void aRoomMayReadTheRecordingsButNotWriteThem()
    {
        Centre centre(*m_shared);
        QCOMPARE(centre.upload().code, 0);
        CentreRoles roles(centre.db);
        const QString asRoom = roles.uriAs(roles.addRoom(QStringLiteral("r1")));
        {
            Room room(asRoom);
            QTRY_COMPARE_WITH_TIMEOUT(room.said(), QStringLiteral("声音文件已全部接收 2/2"),
                                      ArrivalMs);
            write(centre.office.filePath("a.wav"), content(4));
            const ToolRun upload = runTool({QStringLiteral("upload"), asRoom,
                                            QStringLiteral("--sound-dir"), centre.office.path()});
            QCOMPARE(upload.code, 2);
            QVERIFY2(upload.out.contains("permission denied"), qPrintable(upload.out));
        }
    }
};

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
