#include "support/ServerDatabase.h"
#include "support/StalledServer.h"

#include "ui/board/StatusBoard.h"

#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QTest>

namespace {

void createTables(const ServerDatabase &db)
{
    QProcess tool;
    tool.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + "/tessivox-db",
               {QStringLiteral("create"), db.uri()});
    if (!tool.waitForFinished(60'000) || tool.exitCode() != 0)
        qFatal("tessivox-db create failed");
}

QStringList row(const QTableWidget *table, int r)
{
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells << (table->item(r, c) ? table->item(r, c)->text() : QString());
    return cells;
}

} // namespace

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void roomsInTroubleComeFirstAndAClickShowsTheirRun()
    {
        TestServer server;
        ServerDatabase db(server);
        createTables(db);
        db.exec("INSERT INTO room VALUES ('Room 1', '0.1', now(), 'running', '语文', 12), "
                "('Room 2', '0.1', now(), 'running', '语文', -40), "
                "('Room 3', '0.1', now() - interval '10 minutes', 'idle', NULL, 0)");
        for (const QString &room : {QStringLiteral("Room 1"), QStringLiteral("Room 2")})
            db.exec("INSERT INTO room_event (room, run_id, seq, at, kind, subject, second, "
                    "delay_ms, file) VALUES "
                    "(?, 'r', 1, now(), 'run started', '语文', NULL, NULL, NULL), "
                    "(?, 'r', 2, now(), 'played', '语文', '08:00:00', 3, 'a.wav'), "
                    "(?, 'r', 3, now(), ?, '语文', '08:05:00', NULL, 'b.wav')",
                    {room, room, room,
                     room == QLatin1String("Room 2") ? QStringLiteral("missed")
                                                     : QStringLiteral("played")});

        StatusBoard board(db.uri(), 1000);
        QTRY_COMPARE(board.rooms->rowCount(), 3);
        const QColor trouble = board.rooms->item(0, 0)->background().color();
        QCOMPARE(row(board.rooms, 0).mid(0, 2), (QStringList{"Room 2", "运行 语文"}));
        QCOMPARE(row(board.rooms, 0).last(), QStringLiteral("错过 1 条"));
        QCOMPARE(row(board.rooms, 1).mid(0, 2), (QStringList{"Room 3", "10 分钟未联系"}));
        QCOMPARE(row(board.rooms, 2).mid(0, 2), (QStringList{"Room 1", "运行 语文"}));
        QVERIFY(board.rooms->item(2, 0)->background().color() != trouble);

        const QRect cell = board.rooms->visualItemRect(board.rooms->item(0, 0));
        QTest::mouseClick(board.rooms->viewport(), Qt::LeftButton, {}, cell.center());
        QTRY_COMPARE(board.events->rowCount(), 3);
        QCOMPARE(row(board.events, 2).mid(1), (QStringList{"错过", "08:05:00", "", "b.wav", ""}));
    }

    void aServerThatHangsLeavesTheBoardAnswering()
    {
        const auto server = TestServer::startPrivate();
        ServerDatabase db(*server);
        createTables(db);
        db.exec("INSERT INTO room VALUES ('Room 1', '0.1', now(), 'idle', NULL, 0)");
        StatusBoard board(db.uri(), 1000);
        QTRY_COMPARE(board.rooms->rowCount(), 1);

        StalledServer stalled(*server);
        board.refresh();
        // The window's thread is free: a click is taken while the read hangs.
        const QRect cell = board.rooms->visualItemRect(board.rooms->item(0, 0));
        QTest::mouseClick(board.rooms->viewport(), Qt::LeftButton, {}, cell.center());
        QTRY_VERIFY2_WITH_TIMEOUT(
            board.heading->text().contains(QStringLiteral("服务器没有应答")),
            qPrintable(board.heading->text().replace(QLatin1Char(0x0a), QLatin1Char(0x7c))), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            board.eventsHeading->text().contains(QStringLiteral("服务器没有应答")), 20'000);
        stalled.resume();
        QTRY_VERIFY_WITH_TIMEOUT(board.heading->text().contains(QStringLiteral("共 1 个考场")),
                                 30'000);
    }
};

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
