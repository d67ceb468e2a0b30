#include "support/OfficeTools.h"
#include "support/ServerDatabase.h"

#include "office/PcIdentity.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Two PCs set up with one room's name: the one that came second is told,
// the office sees both, and the room's row stays the first's.
class TestPcClash : public QObject
{
    Q_OBJECT

private slots:
    void aPcKeepsItsIdentityInItsDataFolder()
    {
        QTemporaryDir one;
        QTemporaryDir other;
        const PcIdentity first = PcIdentity::of(one.path());
        QVERIFY(!first.id.isEmpty());
        QCOMPARE(PcIdentity::of(one.path()).id, first.id);
        QVERIFY(PcIdentity::of(other.path()).id != first.id);
    }

    void aSecondPcUnderOneNameIsToldAndTheOfficeSeesIt()
    {
        TestServer server;
        ServerDatabase db(server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        SystemClock clock;
        QTemporaryDir folderA;
        QTemporaryDir folderB;
        // Quick rounds: a heartbeat every 200 ms.
        RoomReporter::Room room{db.uri(),
                                QStringLiteral("Room 9"),
                                QStringLiteral("test"),
                                folderA.path(),
                                1000,
                                200,
                                600'000,
                                200,
                                QStringLiteral("1111-a"),
                                QStringLiteral("pc-left")};
        RoomReporter first(room, clock);
        QTRY_COMPARE_WITH_TIMEOUT(
            firstRow(db,
                     "SELECT pc_host FROM room WHERE name = 'Room 9' AND last_seen IS NOT NULL"),
            QStringLiteral("pc-left"), 20'000);

        room.logFolder = folderB.path();
        room.pcId = QStringLiteral("2222-b");
        room.pcHost = QStringLiteral("pc-right");
        RoomReporter second(room, clock);
        QSignalSpy told(&second, &RoomReporter::nameTaken);
        QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), 20'000);
        const QString message = told.first().first().toString();
        QVERIFY2(message.contains(QStringLiteral("“Room 9”")) &&
                     message.contains(QStringLiteral("pc-left")),
                 qPrintable(message));

        const Tool status = tessivoxDb({QStringLiteral("status"), db.uri()});
        QVERIFY2(status.out.contains(QStringLiteral("another PC reports as this room: pc-right")),
                 qPrintable(status.out));
        QCOMPARE(firstRow(db, "SELECT pc FROM room WHERE name = 'Room 9'"),
                 QStringLiteral("1111-a"));
        // Told once, however many rounds it keeps trying.
        QTest::qWait(1000);
        QCOMPARE(told.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPcClash)
#include "tst_pcclash.moc"
