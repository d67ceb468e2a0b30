#include "support/OfficeTools.h"
#include "support/ServerDatabase.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

// The first screen of status --watch, then Ctrl-C.
QString firstScreen(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox-db"),
                  arguments);
    QByteArray out;
    while (!out.contains("\n}") && !out.contains("room ") && process.waitForReadyRead(30'000))
        out += process.readAllStandardOutput();
    process.kill();
    process.waitForFinished();
    return QString::fromUtf8(out);
}

} // namespace

class TestOfficeStatus : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestServer> m_server;

private slots:
    void initTestCase() { m_server = std::make_unique<TestServer>(); }

    // An address whose search_path leads away from the tables: upgrade
    // would add a second office there, so status does not advise it.
    void aSearchPathWithoutTheTablesIsNoCaseForUpgrade_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("elsewhere") << "elsewhere" << 2 << "search path";
        QTest::newRow("elsewhere, then the tables") << "elsewhere,public" << 0 << "";
    }

    void aSearchPathWithoutTheTablesIsNoCaseForUpgrade()
    {
        QFETCH(QString, path);
        QFETCH(int, code);
        QFETCH(QString, said);
        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        db.exec(QStringLiteral("CREATE SCHEMA elsewhere"));
        const Tool status =
            tessivoxDb({QStringLiteral("status"),
                        db.uri() + QStringLiteral("&options=-c%20search_path%3D") + path});
        QCOMPARE(status.code, code);
        QVERIFY2(status.err.contains(said) && !status.err.contains(QStringLiteral("upgrade")),
                 qPrintable(status.err));
    }

    // What a room wrote is data: it never passes for the office's own lines
    // or drives the terminal; what status prints says what it means.
    void statusPrintsWhatTheRoomsSaid_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after the URI
        QTest::addColumn<QString>("room");          // the values of one row of room
        QTest::addColumn<QString>("subject");       // its last run's, when it had one
        QTest::addColumn<QString>("shown");         // matches the output
        QTest::addColumn<QString>("hidden");        // does not

        const QString running = "'Room 1', '0.1', now(), 'running', %1, 0, NULL";
        QTest::newRow("a newline in a subject forges no room's line")
            << QStringList{} << running.arg("E'语文\\n第999考场  running 数学'") << ""
            << R"(running 语文\\n第999考场)"
            << "(?m)^第999考场";
        QTest::newRow("an escape sequence colours nothing")
            << QStringList{} << running.arg("E'\\x1b[31m语文'") << ""
            << R"(running \\x1b\[31m语文)"
            << "\x1b";
        QTest::newRow("a running room without a subject")
            << QStringList{"--json"} << running.arg("NULL") << ""
            << R"("state": "running")"
            << R"("running ")";
        QTest::newRow("an idle room with its last run's subject")
            << QStringList{} << "'Room 1', '0.1', now(), 'idle', NULL, 0, NULL"
            << "语文"
            << R"(Room 1 +idle, last 语文 )"
            << "";
        QTest::newRow("a room never seen")
            << QStringList{"--json"} << "'Room 1', NULL, NULL, 'idle', NULL, NULL, NULL"
            << ""
            << R"("unseenSeconds": null)"
            << R"("unseenSeconds": 120)";
        QTest::newRow("times with their offset from UTC")
            << QStringList{"--json"} << running.arg("'语文'") << ""
            << R"re("at": ".{19}(Z|[+-]\d\d:\d\d)"(?s:.*)"lastSeen": ".{19}(Z|[+-]\d\d:\d\d)")re"
            << "";
        QTest::newRow("JSON alone under --watch")
            << QStringList{"--json", "--watch", "1"} << running.arg("'语文'") << ""
            << R"(^\{)"
            << "\x1b";
        QTest::newRow("events refused, with the server's reason")
            << QStringList{} << "'Room 1', '0.1', now(), 'idle', NULL, 0, E'bad\\nvalue'"
            << ""
            << R"(some events refused: bad\\nvalue)"
            << "";
    }

    void statusPrintsWhatTheRoomsSaid()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, room);
        QFETCH(QString, subject);
        QFETCH(QString, shown);
        QFETCH(QString, hidden);

        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        db.exec(QStringLiteral("INSERT INTO room VALUES (%1)").arg(room));
        if (!subject.isEmpty())
            db.exec("INSERT INTO room_event (room, run_id, seq, at, kind, subject) VALUES "
                    "('Room 1', 'r', 1, now(), 'run started', ?)",
                    {subject});
        const QStringList all = QStringList{QStringLiteral("status"), db.uri()} + arguments;
        const QString out = arguments.contains("--watch") ? firstScreen(all) : tessivoxDb(all).out;
        QVERIFY2(out.contains(QRegularExpression(shown)), qPrintable(out));
        if (!hidden.isEmpty())
            QVERIFY2(!out.contains(QRegularExpression(hidden)), qPrintable(out));
    }

    // Today's announcements follow the rooms, each with what became of it;
    // yesterday's are gone.
    void statusListsTodaysAnnouncements_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after the URI
        QTest::addColumn<QString>("shown");         // matches the output

        QTest::newRow("a line each")
            << QStringList{}
            << R"(Announcements today, the latest first:\n  #2 +09:30:00 +Room 1 +请停笔\\n )"
               R"(+已播放 1（最迟 \+4 ms），失败 0，错过 0，未回报 0\n  #1 +09:00:00 +all rooms)";
        QTest::newRow("JSON with every room's outcome")
            << QStringList{"--json"}
            << R"re("id": 2,(?s:.*)"outcome": "played",(?s:.*)"rooms": \[\s*"Room 1"\s*\],)re"
               R"re((?s:.*)"summary": "已播放 1（最迟 \+4 ms），失败 0，错过 0，未回报 0")re";
    }

    void statusListsTodaysAnnouncements()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);

        ServerDatabase db(*m_server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        db.exec("INSERT INTO room (name) VALUES ('Room 1')");
        db.exec(
            "INSERT INTO announcement (id, day, second, file, sha256, size, text, rooms) "
            "VALUES (1, current_date, '09:00:00', 'a.wav', repeat('0', 64), 0, '', NULL), "
            "(2, current_date, '09:30:00', 'b.wav', repeat('0', 64), 0, E'请停笔\n', '{Room 1}'), "
            "(3, current_date - 1, '10:00:00', 'c.wav', repeat('0', 64), 0, 'yesterday', NULL)");
        db.exec("INSERT INTO room_event (room, run_id, seq, at, kind, delay_ms, announcement) "
                "VALUES ('Room 1', 'r', 1, now(), 'announcement played', 4, 2)");
        const QString out =
            tessivoxDb(QStringList{QStringLiteral("status"), db.uri()} + arguments).out;
        QVERIFY2(out.contains(QRegularExpression(shown)), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("yesterday")), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestOfficeStatus)
#include "tst_officestatus.moc"
