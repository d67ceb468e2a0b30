#include "support/OfficeTools.h"
#include "support/PrivateSoundServer.h"
#include "support/ServerDatabase.h"
#include "support/TestSounds.h"

#include "office/Announcements.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The exam office speaking to the rooms: announcements stored through
// tessivox-db, heard in the rooms' programs, each on a sink of its own of
// the test's own sound server.
namespace {

QDateTime serverNow(ServerDatabase &db)
{
    return QDateTime::fromString(firstRow(db, QStringLiteral("SELECT to_char(LOCALTIMESTAMP, "
                                                             "'YYYY-MM-DD HH24:MI:SS')")),
                                 QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A room's program, in a folder of its own, playing into the sink named as
// the room on the test's own sound server.
class Room final
{
public:
    Room(const QString &name, const QString &folder, const QString &uri) : m_folder(folder)
    {
        QDir().mkpath(folder);
        QProcessEnvironment environment = PrivateSoundServer::environmentFor(name);
        environment.insert(QStringLiteral("TESSIVOX_DATABASE"), uri);
        environment.insert(QStringLiteral("TESSIVOX_ROOM"), name);
        m_program.setProcessEnvironment(environment);
        m_program.setWorkingDirectory(folder);
        m_program.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox"),
                        QStringList());
    }
    ~Room()
    {
        m_program.kill();
        m_program.waitForFinished();
    }
    Q_DISABLE_COPY_MOVE(Room)

    // The lines of its run log of day that tell of announcements.
    QStringList announced(const QDate &day) const
    {
        QFile log(m_folder + QStringLiteral("/data/run-log/") + day.toString(Qt::ISODate) +
                  QStringLiteral(".log"));
        QStringList lines;
        if (log.open(QIODevice::ReadOnly))
            for (const QString &line : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n')))
                if (line.contains(QLatin1String("\tannouncement ")))
                    lines << line.section(QLatin1Char('\t'), 1, 3);
        return lines;
    }

private:
    QString m_folder;
    QProcess m_program;
};

} // namespace

class TestAnnounce : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_server;

private slots:
    void initTestCase() { m_server = std::make_unique<TestServer>(); }

    // What the office may announce, and how the recording is stored. A null
    // rooms gives no --rooms.
    void announce_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("aheadS");
        QTest::addColumn<QString>("rooms");
        QTest::addColumn<bool>("asRoom");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("error");
        QTest::newRow("every room") << "notice.wav" << 30 << QString() << false << "notice.wav"
                                    << "";
        QTest::newRow("two rooms, named") << "notice.wav" << 30 << "A, B" << false << "notice.wav"
                                          << "";
        QTest::newRow("a subject's recording by that name is left alone")
            << "demo-1.wav" << 30 << QString() << false << "demo-1-"
            << "";
        QTest::newRow("less than 10 s ahead") << "notice.wav" << 5 << QString() << false << ""
                                              << "less than 10 s ahead";
        QTest::newRow("not a sound file") << "garbage.wav" << 30 << QString() << false << ""
                                          << "not a sound file";
        QTest::newRow("a sound file of no frames") << "empty.wav" << 30 << QString() << false << ""
                                                   << "holds no sound";
        QTest::newRow("a room nobody knows") << "notice.wav" << 30 << "A, NoSuchRoom" << false << ""
                                             << "NoSuchRoom";
        QTest::newRow("rooms that name nobody") << "notice.wav" << 30 << "" << false << ""
                                                << "name no room";
        QTest::newRow("a room's login may not") << "notice.wav" << 30 << QString() << true << ""
                                                << "permission denied";
    }
    void announce()
    {
        QFETCH(QString, file);
        QFETCH(int, aheadS);
        QFETCH(QString, rooms);
        QFETCH(bool, asRoom);
        QFETCH(QString, stored);
        QFETCH(QString, error);
        ServerDatabase db(*m_server);
        QTemporaryDir dir;
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        QCOMPARE(tessivoxDb({QStringLiteral("demo"), db.uri(), QStringLiteral("--sound-dir"),
                             dir.filePath(QStringLiteral("sound"))})
                     .code,
                 0);
        QCOMPARE(tessivoxDb({QStringLiteral("upload"), db.uri(), QStringLiteral("--sound-dir"),
                             dir.filePath(QStringLiteral("sound"))})
                     .code,
                 0);
        // B's clock runs 30 s ahead: at 30 s it misses the second.
        db.exec(QStringLiteral("INSERT INTO room (name, clock_offset_ms) VALUES ('A', 0), "
                               "('B', 30000)"));
        const QString subjectSound =
            firstRow(db, QStringLiteral("SELECT sha256 FROM sound_file WHERE name = 'demo-1.wav'"));
        TestSounds::writeTone(dir.filePath(QStringLiteral("notice.wav")), 500);
        TestSounds::writeTone(dir.filePath(QStringLiteral("demo-1.wav")), 700);
        TestSounds::writeTone(dir.filePath(QStringLiteral("empty.wav")), 0);
        TestSounds::writeGarbage(dir.filePath(QStringLiteral("garbage.wav")));
        CentreRoles roles(db);
        const QString uri = asRoom ? roles.uriAs(roles.addRoom(QStringLiteral("a"))) : db.uri();
        const QDateTime now = serverNow(db);
        if (now.time() > QTime(23, 59, 0))
            QSKIP("the announcement's second would pass midnight");

        QStringList arguments{QStringLiteral("announce"),
                              uri,
                              dir.filePath(file),
                              QStringLiteral("--at"),
                              now.addSecs(aheadS).toString(QStringLiteral("HH:mm:ss")),
                              QStringLiteral("--text"),
                              QStringLiteral("考生请注意")};
        if (!rooms.isNull())
            arguments << QStringLiteral("--rooms") << rooms;
        const Tool tool = tessivoxDb(arguments);
        QVERIFY2(tool.err.contains(error), qPrintable(tool.err));
        QCOMPARE(tool.code, error.isEmpty() ? 0 : 2);
        QCOMPARE(firstRow(db, QStringLiteral("SELECT count(*) FROM announcement")),
                 error.isEmpty() ? QStringLiteral("1") : QStringLiteral("0"));
        if (!error.isEmpty())
            return;
        QVERIFY2(tool.err.contains(QStringLiteral("miss it: B (30.0 s ahead)")),
                 qPrintable(tool.err));
        QVERIFY(firstRow(db, QStringLiteral("SELECT file FROM announcement")).startsWith(stored));
        QCOMPARE(firstRow(db, QStringLiteral("SELECT coalesce(array_to_string(rooms, '|'), "
                                             "'all') FROM announcement")),
                 rooms.isNull() ? QStringLiteral("all") : QStringLiteral("A|B"));
        QCOMPARE(firstRow(db, QStringLiteral("SELECT sha256 FROM sound_file WHERE name = "
                                             "'demo-1.wav'")),
                 subjectSound);
    }

    // The second checked again when the announcement is written passed
    // while the recording went up (here: while the table was locked): the
    // refusal says that the recording stays stored.
    void aRefusalAfterTheUploadSaysTheRecordingIsStored()
    {
        ServerDatabase db(*m_server);
        QTemporaryDir dir;
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        TestSounds::writeTone(dir.filePath(QStringLiteral("notice.wav")), 500);
        const QDateTime now = serverNow(db);
        if (now.time() > QTime(23, 59, 0))
            QSKIP("the announcement's second would pass midnight");
        QProcess locker;
        locker.start(QStringLiteral("psql"),
                     {QStringLiteral("-q"), db.uri(), QStringLiteral("-c"),
                      QStringLiteral("BEGIN; LOCK TABLE announcement; SELECT pg_sleep(4); "
                                     "COMMIT;")});
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, QStringLiteral("SELECT count(*) FROM pg_locks WHERE relation = "
                                        "'announcement'::regclass AND granted")),
            QStringLiteral("1"), 10000);
        const Tool tool = tessivoxDb(
            {QStringLiteral("announce"), db.uri(), dir.filePath(QStringLiteral("notice.wav")),
             QStringLiteral("--at"),
             serverNow(db).addSecs(Announcements::LeadS + 2).toString(QStringLiteral("HH:mm:ss"))});
        locker.waitForFinished();
        QCOMPARE(tool.code, 2);
        QVERIFY2(tool.err.contains(QStringLiteral("less than 10 s ahead")) &&
                     tool.err.contains(QStringLiteral("stored on the server as notice.wav")),
                 qPrintable(tool.err));
        QCOMPARE(firstRow(db, QStringLiteral("SELECT name FROM sound_file")),
                 QStringLiteral("notice.wav"));
    }

    // A room started after an announcement's second never plays it: its
    // recording is not fetched, and holds up nothing still to come.
    void aPastAnnouncementsRecordingIsNotFetched()
    {
        ServerDatabase db(*m_server);
        QTemporaryDir dir;
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        TestSounds::writeTone(dir.filePath(QStringLiteral("past.wav")), 1000);
        TestSounds::writeTone(dir.filePath(QStringLiteral("next.wav")), 500);
        const QDateTime now = serverNow(db);
        if (now.time() > QTime(23, 58, 0) || now.time() < QTime(0, 2, 0))
            QSKIP("the announcements' seconds would pass midnight");
        for (const QString &file : {QStringLiteral("past.wav"), QStringLiteral("next.wav")})
            QCOMPARE(tessivoxDb({QStringLiteral("announce"), db.uri(), dir.filePath(file),
                                 QStringLiteral("--at"),
                                 now.addSecs(60).toString(QStringLiteral("HH:mm:ss"))})
                         .code,
                     0);
        db.exec(QStringLiteral("UPDATE announcement SET second = second - interval '2 minutes' "
                               "WHERE file = 'past.wav'"));
        const auto cached = [&](const QString &file) {
            return QFile::exists(
                dir.filePath(QStringLiteral("A/data/sound-cache/")) +
                firstRow(db, QStringLiteral("SELECT sha256 FROM sound_file WHERE name = '") + file +
                                 QStringLiteral("'")) +
                QStringLiteral(".wav"));
        };
        Room a(QStringLiteral("A"), dir.filePath(QStringLiteral("A")), db.uri());
        QTRY_VERIFY_WITH_TIMEOUT(cached(QStringLiteral("next.wav")), 20000);
        QTest::qWait(1000);
        QVERIFY(!cached(QStringLiteral("past.wav")));
    }

    // Two announcements of one second, each a second long: both are heard
    // whole, one after the other, not the first cut off by the second.
    void twoAtOneSecondAreBothHeardWhole()
    {
        ServerDatabase db(*m_server);
        QTemporaryDir dir;
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        TestSounds::writeTone(dir.filePath(QStringLiteral("one.wav")), 1000);
        TestSounds::writeTone(dir.filePath(QStringLiteral("two.wav")), 1000);
        PrivateSoundServer sound(dir.filePath(QStringLiteral("pulse")), {QStringLiteral("A")});
        QVERIFY(sound.start());
        const QDateTime now = serverNow(db);
        if (now.time() > QTime(23, 59, 0))
            QSKIP("the announcement's second would pass midnight");
        Room a(QStringLiteral("A"), dir.filePath(QStringLiteral("A")), db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, QStringLiteral("SELECT count(*) FROM room")),
                                  QStringLiteral("1"), 10000);
        const QDateTime second = serverNow(db).addSecs(15);
        for (const QString &file : {QStringLiteral("one.wav"), QStringLiteral("two.wav")})
            QCOMPARE(
                tessivoxDb({QStringLiteral("announce"), db.uri(), dir.filePath(file),
                            QStringLiteral("--at"), second.toString(QStringLiteral("HH:mm:ss"))})
                    .code,
                0);
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(second.addMSecs(-500))));
        sound.take(QStringLiteral("A"));
        QTest::qWait(3500);
        // Half a second more than one of them at the least; 44.1 kHz.
        const int loud = PrivateSoundServer::loudSamples(sound.take(QStringLiteral("A")));
        QVERIFY2(loud > 44100 * 3 / 2, qPrintable(QString::number(loud)));
        QCOMPARE(a.announced(second.date()).size(), 2);
    }

    // Every room whose program runs plays it at its second; a room that
    // starts after it reports it missed, once, however often it starts; a
    // room's new PC says nothing of what the room played on its old one.
    void heardInEveryRoomAtItsSecond()
    {
        ServerDatabase db(*m_server);
        QTemporaryDir dir;
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        TestSounds::writeTone(dir.filePath(QStringLiteral("notice.wav")), 1000);
        PrivateSoundServer sound(dir.filePath(QStringLiteral("pulse")),
                                 {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        QVERIFY(sound.start());
        const QDateTime now = serverNow(db);
        if (now.time() > QTime(23, 59, 0))
            QSKIP("the announcement's second would pass midnight");
        auto a = std::make_unique<Room>(QStringLiteral("A"), dir.filePath(QStringLiteral("A")),
                                        db.uri());
        Room b(QStringLiteral("B"), dir.filePath(QStringLiteral("B")), db.uri());
        QTRY_COMPARE_WITH_TIMEOUT(firstRow(db, QStringLiteral("SELECT count(*) FROM room")),
                                  QStringLiteral("2"), 10000);

        const QDateTime second = serverNow(db).addSecs(15);
        const Tool tool = tessivoxDb(
            {QStringLiteral("announce"), db.uri(), dir.filePath(QStringLiteral("notice.wav")),
             QStringLiteral("--at"), second.toString(QStringLiteral("HH:mm:ss"))});
        QVERIFY2(tool.code == 0, qPrintable(tool.err));
        const QString id = firstRow(db, QStringLiteral("SELECT id FROM announcement"));
        const QString played = QStringLiteral("announcement played\t#%1\t%2")
                                   .arg(id, second.toString(QStringLiteral("HH:mm:ss")));

        // Silent until the second, heard once it came.
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(second.addMSecs(-500))));
        for (const QString &room : {QStringLiteral("A"), QStringLiteral("B")})
            QCOMPARE(PrivateSoundServer::loudSamples(sound.take(room)), 0);
        QTest::qWait(2500);
        for (const QString &room : {QStringLiteral("A"), QStringLiteral("B")})
            QVERIFY2(PrivateSoundServer::loudSamples(sound.take(room)) > 0, qPrintable(room));
        QCOMPARE(a->announced(second.date()), QStringList{played});
        QCOMPARE(b.announced(second.date()), QStringList{played});
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, QStringLiteral("SELECT string_agg(room, ',' ORDER BY room) FROM "
                                        "room_event WHERE kind = 'announcement played' AND "
                                        "announcement = ") +
                             id),
            QStringLiteral("A,B"), 10000);

        // Room A on another PC, its data folder new: it played there.
        a.reset();
        Room otherPcOfA(QStringLiteral("A"), dir.filePath(QStringLiteral("A2")), db.uri());
        const QString late = dir.filePath(QStringLiteral("C"));
        const QString missed = QStringLiteral("announcement missed\t#%1\t%2")
                                   .arg(id, second.toString(QStringLiteral("HH:mm:ss")));
        for (int start = 0; start < 2; ++start) {
            Room c(QStringLiteral("C"), late, db.uri());
            QTRY_COMPARE_WITH_TIMEOUT(c.announced(second.date()), QStringList{missed}, 10000);
            // Long enough for a second read of the list to have said it again.
            QTest::qWait(2000);
        }
        QCOMPARE(PrivateSoundServer::loudSamples(sound.take(QStringLiteral("C"))), 0);
        QCOMPARE(otherPcOfA.announced(second.date()), QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db, QStringLiteral("SELECT count(*) FROM room_event WHERE room = 'C' AND "
                                        "kind = 'announcement missed'")),
            QStringLiteral("1"), 10000);
    }
};

QTEST_GUILESS_MAIN(TestAnnounce)
#include "tst_announce.moc"
