#include "support/OfficeTools.h"
#include "support/ServerDatabase.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/ServerLink.h"
#include "data/Session.h"

#include <QSqlQuery>
#include <QTest>

namespace {

// The error of running sql (statements joined by "; ") as login, empty when
// the server allows it.
QString errorAs(const QString &uri, const QString &sql)
{
    try {
        ServerLink(uri).run(
            [&](Session &session) {
                for (const QString &statement : sql.split(QStringLiteral("; ")))
                    Query::run(session.db(), {statement, {}});
            },
            std::chrono::seconds(10));
    } catch (const DbError &error) {
        return error.text();
    }
    return {};
}

const QString Event =
    QStringLiteral(R"([{"room": "%1", "run": "r", "seq": 1, "at": "2026-06-07T08:00:00+08:00",
                       "kind": "run started", "subject": "语文"}])");

} // namespace

// What docs/centre.md says a room can and cannot do, line by line, as a room's
// login on a server with the grants applied.
class TestOfficeRights : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<ServerDatabase> m_db;
    std::unique_ptr<CentreRoles> m_roles;
    QString m_room;

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<TestServer>();
        m_db = std::make_unique<ServerDatabase>(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), m_db->uri()}).code, 0);
        m_roles = std::make_unique<CentreRoles>(*m_db);
        m_room = m_roles->addRoom(QStringLiteral("r7"));
        m_db->exec(QStringLiteral("INSERT INTO room (name) VALUES ('Room 8')"));
    }

    void cleanupTestCase()
    {
        m_roles.reset();
        m_db.reset();
    }

    void aRoomCanDoOnlyWhatTheReadmeSays_data()
    {
        QTest::addColumn<QString>("sql");     // as the room; %1 its name, %2 its role's
        QTest::addColumn<QString>("refusal"); // a part of the server's text; empty: allowed

        QTest::newRow("reads the schedule") << "SELECT count(*) FROM sound"
                                            << "";
        QTest::newRow("writes its own row")
            << "SELECT room_report('%1', '1.0', 'idle', NULL, 0, NULL)"
            << "";
        QTest::newRow("sends its own events") << "SELECT room_events('" + Event + "')"
                                              << "";
        QTest::newRow("says how many recordings it holds")
            << "SELECT room_report('%1', '1.0', 'idle', NULL, 0, NULL, 10, 12)"
            << "";
        QTest::newRow("reads the count of the schedule's changes")
            << "SELECT changes FROM schedule_changes"
            << "";
        QTest::newRow("moves the count of the schedule's changes")
            << "UPDATE schedule_changes SET changes = changes + 1"
            << "permission denied for table schedule_changes";
        QTest::newRow("reads the recordings") << "SELECT count(*) FROM sound_file_chunk"
                                              << "";
        QTest::newRow("stores a recording") << "DELETE FROM sound_file"
                                            << "permission denied for table sound_file";
        QTest::newRow("reads the announcements") << "SELECT count(*) FROM announcement"
                                                 << "";
        QTest::newRow("makes an announcement")
            << "INSERT INTO announcement (day, second, file, sha256, size) VALUES (current_date, "
               "'23:59:59', 'a.wav', repeat('0', 64), 0)"
            << "permission denied for table announcement";
        QTest::newRow("locks the rooms' table") << "BEGIN; LOCK TABLE room IN ACCESS EXCLUSIVE MODE"
                                                << "permission denied for table room";
        QTest::newRow("locks the events' table")
            << "BEGIN; LOCK TABLE room_event IN ACCESS SHARE MODE"
            << "permission denied for table room_event";
        QTest::newRow("reads the office's tables") << "SELECT * FROM room"
                                                   << "permission denied for table room";
        QTest::newRow("sets its own last_seen")
            << "UPDATE room SET last_seen = now() + interval '1 day' WHERE name = '%1'"
            << "permission denied for table room";
        QTest::newRow("sets its recordings' counts itself")
            << "UPDATE room SET sound_files_held = 12 WHERE name = '%1'"
            << "permission denied for table room";
        QTest::newRow("writes another room's row")
            << "SELECT room_report('Room 8', '1.0', 'idle', NULL, 0, NULL)"
            << "may not report as room Room 8";
        QTest::newRow("sends another room's events")
            << "SELECT room_events('" + QString(Event).arg("Room 8") + "')"
            << "may send only its own events";
        QTest::newRow("poses as the rooms' group")
            << "SET ROLE %2; SELECT room_report('%2', '1.0', 'idle', NULL, 0, NULL)"
            << "may not report as room";
        QTest::newRow("reports a version longer than the server takes")
            << "SELECT room_report('%1', repeat('v', 101), 'idle', NULL, 0, NULL)"
            << "longer than the server takes";
        QTest::newRow("reports a long refusal")
            << "SELECT room_report('%1', '1.0', 'idle', NULL, 0, repeat('r', 1001))"
            << "longer than the server takes";
        QTest::newRow("sends an event with a long reason")
            << "SELECT room_events(jsonb_build_array(jsonb_build_object('room', '%1', 'run', "
               "'r2', 'seq', 1, 'at', now(), 'kind', 'failed', 'reason', repeat('x', 2001))))"
            << "longer than the server takes";
        QTest::newRow("sends too many events at once")
            << "SELECT room_events((SELECT jsonb_agg(jsonb_build_object('room', '%1', 'run', "
               "'r3', 'seq', i, 'at', now(), 'kind', 'played')) FROM generate_series(1, 1001) i))"
            << "at most 1000 events in one call";
        QTest::newRow("poses as another room through its group")
            << "SET ROLE %2; SELECT room_events('" + QString(Event).arg("%2") + "')"
            << "may send only its own events";
    }

    void aRoomCanDoOnlyWhatTheReadmeSays()
    {
        QFETCH(QString, sql);
        QFETCH(QString, refusal);

        const QString error =
            errorAs(m_roles->uriAs(m_room),
                    QString(sql).replace("%1", m_room).replace("%2", m_roles->roomRole()));
        if (refusal.isEmpty())
            QCOMPARE(error, QString());
        else
            QVERIFY2(error.contains(refusal), qPrintable(error));
        // Nothing of another room's, nothing under the group's name, no
        // time of the room's own.
        QCOMPARE(firstRow(*m_db, "SELECT count(*) FROM room_event WHERE room <> '" + m_room + "'"),
                 QStringLiteral("0"));
        QCOMPARE(firstRow(*m_db, "SELECT count(*) FROM room WHERE name = '" + m_roles->roomRole() +
                                     "' OR last_seen > now() + interval '1 minute' OR "
                                     "(name = 'Room 8' AND last_seen IS NOT NULL)"),
                 QStringLiteral("0"));
    }

    // The server stamps a room's last_seen: a dead room cannot stay seen.
    void theServerSetsLastSeen()
    {
        QCOMPARE(errorAs(m_roles->uriAs(m_room),
                         "SELECT room_report('" + m_room + "', '1.0', 'idle', NULL, 0, NULL)"),
                 QString());
        QCOMPARE(firstRow(*m_db, "SELECT last_seen BETWEEN now() - interval '1 minute' AND now() "
                                 "FROM room WHERE name = '" +
                                     m_room + "'"),
                 QStringLiteral("true"));
    }

    // A writer of the schedule granted nothing on the count, as one granted
    // before the count came: its writes still go through, and move it.
    void aWriteOfTheScheduleMovesItsCountWithoutARightOnIt()
    {
        const QString writer = m_roles->addRoom(QStringLiteral("writer"));
        m_db->exec(QStringLiteral("GRANT INSERT ON test TO %1").arg(writer));
        const QString before = firstRow(*m_db, "SELECT changes FROM schedule_changes");
        QCOMPARE(errorAs(m_roles->uriAs(writer),
                         QStringLiteral("INSERT INTO test (subjectname) VALUES ('数学')")),
                 QString());
        QCOMPARE(firstRow(*m_db, "SELECT changes FROM schedule_changes").toLongLong(),
                 before.toLongLong() + 1);
    }

    // A room's login cannot see the office's tables: status says so
    // rather than showing a centre of one well room.
    void statusUnderARoomsLoginSaysItCannotSee()
    {
        const Tool status = tessivoxDb({QStringLiteral("status"), m_roles->uriAs(m_room)});
        QCOMPARE(status.code, 2);
        QVERIFY2(status.err.contains("cannot see the office's tables"), qPrintable(status.err));
    }
};

QTEST_GUILESS_MAIN(TestOfficeRights)
#include "tst_officerights.moc"
