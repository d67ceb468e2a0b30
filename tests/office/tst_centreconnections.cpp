#include "support/OfficeTools.h"
#include "support/ServerDatabase.h"

#include "data/DbError.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "office/ServerCapacity.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <list>

namespace {

// The error of opening a session at uri, empty when the server takes it.
std::optional<DbError> connectionError(const QString &uri)
{
    try {
        ServerLink(uri).run([](Session &) {}, std::chrono::seconds(10));
    } catch (const DbError &error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

// The connection slots of a centre's server: no login but the centre's may
// take them, and a server out of them says so in its own words.
class TestCentreConnections : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheCentresLoginsConnectAndARoomsOnlyAFew()
    {
        TestServer server;
        ServerDatabase db(server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        CentreRoles roles(db);
        const QString stranger =
            QStringLiteral("stranger_%1").arg(QCoreApplication::applicationPid());
        db.exec(QStringLiteral("CREATE USER %1").arg(stranger));
        const auto dropStranger = qScopeGuard(
            [&] { db.exec(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(stranger)); });

        const std::optional<DbError> refused = connectionError(roles.uriAs(stranger));
        QVERIFY(refused);
        QVERIFY2(refused->text().contains(QStringLiteral("permission denied for database")),
                 refused->what());

        // A room added after the grants gets its limit when they run again.
        const QString room = roles.addRoom(QStringLiteral("r1"));
        QCOMPARE(connectionError(roles.uriAs(room)).has_value(), false);
        roles.apply();
        QCOMPARE(firstRow(db, "SELECT rolconnlimit FROM pg_roles WHERE rolname = '" + room + "'"),
                 QString::number(ServerCapacity::PerRoomLogin));
    }

    void statusSaysHowManySlotsAreLeft()
    {
        TestServer server;
        ServerDatabase db(server);
        QCOMPARE(tessivoxDb({QStringLiteral("create"), db.uri()}).code, 0);
        const Tool status = tessivoxDb({QStringLiteral("status"), db.uri()});
        QVERIFY2(status.out.contains(
                     QRegularExpression(QStringLiteral("\\d+ of \\d+ connection slots left"))),
                 qPrintable(status.out + status.err));
        QVERIFY(tessivoxDb({QStringLiteral("status"), db.uri(), QStringLiteral("--json")})
                    .out.contains(QStringLiteral("\"connectionSlots\"")));
    }

    // Only the slots kept for superusers left: PostgreSQL says so in words
    // of its own, which are a full server's all the same.
    void aServerWithOnlyItsSuperusersSlotsLeftIsFull_data()
    {
        QTest::addColumn<QStringList>("command"); // %1: the database's URI as an ordinary login
        QTest::newRow("status") << QStringList{"status", "%1"};
        QTest::newRow("check") << QStringList{"check", "%1"};
    }

    void aServerWithOnlyItsSuperusersSlotsLeftIsFull()
    {
        QFETCH(QStringList, command);

        const auto server = TestServer::startPrivate();
        ServerDatabase db(*server);
        db.exec(QStringLiteral("CREATE USER office"));
        // Three for everyone, three kept for superusers.
        db.exec(QStringLiteral("ALTER SYSTEM SET max_wal_senders = 0"));
        db.exec(QStringLiteral("ALTER SYSTEM SET max_connections = 6"));
        server->stop();
        server->start();
        std::list<ServerLink> held;
        for (int i = 0; i < 3; ++i)
            held.emplace_back(db.uri()).run([](Session &) {}, std::chrono::seconds(10));
        const QString office = QString(db.uri()).replace(QStringLiteral("user=postgres"),
                                                         QStringLiteral("user=office"));

        const std::optional<DbError> refused = connectionError(office);
        QVERIFY(refused);
        QVERIFY2(refused->kind() == DbError::Kind::Full, refused->what());

        const Tool tool = tessivoxDb(command.replaceInStrings(QStringLiteral("%1"), office));
        QVERIFY2(tool.err.contains(QStringLiteral("服务器连接数已满")), qPrintable(tool.err));
        QVERIFY2(!tool.err.contains(QStringLiteral("无法连接")), qPrintable(tool.err));
    }
};

QTEST_GUILESS_MAIN(TestCentreConnections)
#include "tst_centreconnections.moc"
