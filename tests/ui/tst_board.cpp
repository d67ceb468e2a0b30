#include "support/OfficeTools.h"
#include "support/ServerDatabase.h"
#include "support/StalledServer.h"
#include "support/TestSounds.h"

#include "ui/board/AnnounceForm.h"
#include "ui/board/DelayForm.h"
#include "ui/board/StatusBoard.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QUrl>

// The board reads each table off its window's thread on a server the other
// tests share: on a busy machine a refresh may take longer than QtTest's 5 s.
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 20000)

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

// The first cell of the highlighted row.
QString chosen(const QTableWidget *table)
{
    const QList<QTableWidgetItem *> items = table->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
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

        // Room 1's clock goes wrong: it comes first, and the highlight
        // stays with Room 2.
        db.exec("UPDATE room SET clock_offset_ms = 5000 WHERE name = 'Room 1'");
        board.refresh();
        QTRY_COMPARE(board.rooms->item(0, 0)->text(), QStringLiteral("Room 1"));
        QCOMPARE(chosen(board.rooms), QStringLiteral("Room 2"));
    }

    // Whatever a room wrote shows as written, never as markup; the server
    // is named as a person names it.
    void aRoomsTextIsPlainText()
    {
        TestServer server;
        ServerDatabase db(server);
        createTables(db);
        db.exec("INSERT INTO room VALUES ('<i>Room 1</i>', '0.1', now(), 'idle', NULL, 0, "
                "'bad value')");
        db.exec("INSERT INTO room_event (room, run_id, seq, at, kind, subject) VALUES "
                "('<i>Room 1</i>', 'r', 1, now(), 'run started', '<b>语文</b>')");

        StatusBoard board(db.uri(), 1000);
        QTRY_COMPARE(board.rooms->rowCount(), 1);
        QCOMPARE(row(board.rooms, 0).mid(0, 2),
                 (QStringList{"<i>Room 1</i>", "空闲（上一场 <b>语文</b>）"}));
        QCOMPARE(row(board.rooms, 0).last(), QStringLiteral("部分事件被拒绝：bad value"));
        const QString name = QUrl(db.uri()).path().mid(1);
        QVERIFY2(board.heading->text().contains(" " + name + " @ /"),
                 qPrintable(board.heading->text()));
        QTest::mouseClick(board.rooms->viewport(), Qt::LeftButton, {},
                          board.rooms->visualItemRect(board.rooms->item(0, 0)).center());
        QTRY_COMPARE(board.eventsHeading->text(),
                     QStringLiteral("<i>Room 1</i> 本场记录（<b>语文</b>）"));
        for (const QLabel *label : {board.heading, board.eventsHeading})
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    // The office reads a room's run in Chinese, on a board that fits its screen.
    void aRoomsRunReadsInChinese()
    {
        TestServer server;
        ServerDatabase db(server);
        createTables(db);
        db.exec("INSERT INTO room VALUES ('Room 1', '0.1', now(), 'running', '语文', 0)");
        db.exec("INSERT INTO room_event (room, run_id, seq, at, kind, subject, second, file, "
                "reason) VALUES ('Room 1', 'r', 0, now(), 'run started', '语文', NULL, NULL, "
                "NULL), ('Room 1', 'r', 1, now(), 'clock', '语文', NULL, NULL, "
                "'synchronised'), ('Room 1', 'r', 2, now(), 'played', '语文', '08:00:00', "
                "'a.wav (from the server)', NULL)");

        StatusBoard board(db.uri(), 1000);
        QVERIFY(board.height() <= QGuiApplication::primaryScreen()->availableGeometry().height());
        QTRY_COMPARE(board.rooms->rowCount(), 1);
        QTest::mouseClick(board.rooms->viewport(), Qt::LeftButton, {},
                          board.rooms->visualItemRect(board.rooms->item(0, 0)).center());
        QTRY_COMPARE(board.events->rowCount(), 3);
        QCOMPARE(row(board.events, 1).mid(1),
                 (QStringList{"计算机时钟", "", "", "", "已与时间服务器同步"}));
        QCOMPARE(row(board.events, 2)[4], QStringLiteral("a.wav（服务器上的录音）"));
    }

    void theOfficePutsAnExamBackFromTheBoard()
    {
        TestServer server;
        ServerDatabase db(server);
        createTables(db);
        db.exec("INSERT INTO test (subjectname, starttime, endtime) VALUES "
                "('语文', '2099-06-07 08:00:00', '2099-06-07 10:00:00')");
        StatusBoard board(db.uri(), 1000);
        DelayForm *form = board.delayForm;
        form->subject->setText(QStringLiteral("语文"));
        form->minutes->setValue(-15);
        QTest::mouseClick(form->delay, Qt::LeftButton);
        QVERIFY2(form->result->toPlainText().contains(QStringLiteral("brought forward by 15 min")),
                 qPrintable(form->result->toPlainText()));
        QCOMPARE(db.rows("SELECT starttime, endtime FROM test"),
                 (QList<QStringList>{{"2099-06-07 07:45:00", "2099-06-07 09:45:00"}}));

        form->subject->setText(QStringLiteral("数学"));
        QTest::mouseClick(form->delay, Qt::LeftButton);
        QCOMPARE(form->result->toPlainText(), QStringLiteral("服务器上没有考试科目：数学"));
    }

    // Published off the window's thread under the board's login, and
    // listed with what each room said of it.
    void theOfficeSpeaksToTheRoomsFromTheBoard_data()
    {
        QTest::addColumn<bool>("asRoom");
        QTest::addColumn<QString>("rooms");            // as typed
        QTest::addColumn<QString>("result");           // the form's answer matches
        QTest::addColumn<QStringList>("listed");       // its row on the board, after the second
        QTest::addColumn<QList<QStringList>>("heard"); // per room, after a click

        QTest::newRow("for two rooms, one played it and one failed")
            << false << "Room 1，Room 2"
            << "^已发布通知 #1："
            << QStringList{"Room 1，Room 2", "已播放 1（最迟 +4 ms），失败 1，错过 0，未回报 0",
                           "<b>请停笔</b>"}
            << QList<QStringList>{{"Room 1", "已播放", "+4 ms", ""},
                                  {"Room 2", "播放失败", "-", "no device"}};
        QTest::newRow("for every room, one not heard from")
            << false << ""
            << "^已发布通知 #1："
            << QStringList{"全部", "已播放 1（最迟 +4 ms），失败 1，错过 0，未回报 1",
                           "<b>请停笔</b>"}
            << QList<QStringList>{{"Room 1", "已播放", "+4 ms", ""},
                                  {"Room 2", "播放失败", "-", "no device"},
                                  {"Room 3", "未回报", "-", ""}};
        QTest::newRow("a room's login is refused")
            << true << ""
            << "^未能发布：(?s:.*)permission denied" << QStringList{} << QList<QStringList>{};
    }

    void theOfficeSpeaksToTheRoomsFromTheBoard()
    {
        QFETCH(bool, asRoom);
        QFETCH(QString, rooms);
        QFETCH(QString, result);
        QFETCH(QStringList, listed);
        QFETCH(QList<QStringList>, heard);

        const QTime second = QTime::currentTime().addSecs(30);
        if (second < QTime(0, 1))
            QSKIP("the second would be tomorrow's");
        TestServer server;
        ServerDatabase db(server);
        createTables(db);
        CentreRoles roles(db);
        const QString uri = asRoom ? roles.uriAs(roles.addRoom(QStringLiteral("r1"))) : db.uri();
        // Only rooms the server knows may be named.
        db.exec("INSERT INTO room (name) VALUES ('Room 1'), ('Room 2'), ('Room 3')");
        QTemporaryDir dir;
        TestSounds::writeSilence(dir.filePath(QStringLiteral("notice.wav")), 500);

        StatusBoard board(uri, 1000);
        // Laid out as the office sees it, the button where it is clicked.
        board.show();
        AnnounceForm *form = board.announceForm;
        form->file->setText(dir.filePath(QStringLiteral("notice.wav")));
        form->second->setTime(second);
        form->rooms->setText(rooms);
        form->text->setText(QStringLiteral("<b>请停笔</b>"));
        QTest::mouseClick(form->publish, Qt::LeftButton);
        QVERIFY(!form->publish->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(form->publish->isEnabled(), 30'000);
        QVERIFY2(form->result->toPlainText().contains(QRegularExpression(result)),
                 qPrintable(form->result->toPlainText()));
        QCOMPARE(db.rows("SELECT count(*) FROM announcement").value(0).value(0),
                 QString::number(listed.isEmpty() ? 0 : 1));
        if (listed.isEmpty())
            return;

        db.exec("INSERT INTO room_event (room, run_id, seq, at, kind, delay_ms, reason, "
                "announcement) VALUES "
                "('Room 1', 'r', 1, now(), 'announcement played', 4, '<b>请停笔</b>', 1), "
                "('Room 2', 'r', 1, now(), 'announcement failed', NULL, 'no device', 1)");
        board.refresh();
        QTRY_COMPARE(board.announcements->rowCount(), 1);
        QTRY_COMPARE(row(board.announcements, 0),
                     QStringList{second.toString(QStringLiteral("HH:mm:ss"))} + listed);
        QTest::mouseClick(
            board.announcements->viewport(), Qt::LeftButton, {},
            board.announcements->visualItemRect(board.announcements->item(0, 0)).center());
        QList<QStringList> shown;
        for (int r = 0; r < board.outcomes->rowCount(); ++r)
            shown << row(board.outcomes, r);
        QCOMPARE(shown, heard);

        // A later one comes first; the highlight stays with the one shown.
        db.exec("INSERT INTO announcement (day, second, file, sha256, size) "
                "VALUES (current_date, ?, 'b.wav', repeat('0', 64), 0)",
                {second.addSecs(1).toString(QStringLiteral("HH:mm:ss"))});
        board.refresh();
        QTRY_COMPARE(board.announcements->rowCount(), 2);
        QCOMPARE(chosen(board.announcements), second.toString(QStringLiteral("HH:mm:ss")));
        QCOMPARE(board.outcomes->rowCount(), heard.size());
    }

    void aServerThatHangsLeavesTheBoardAnswering()
    {
        const auto server = TestServer::startPrivate();
        ServerDatabase db(*server);
        createTables(db);
        db.exec("INSERT INTO room VALUES ('Room 1', '0.1', now(), 'idle', NULL, 0, NULL)");
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
