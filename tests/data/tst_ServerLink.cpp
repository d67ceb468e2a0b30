#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "support/ServerDatabase.h"
#include "support/StalledServer.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <mutex>

namespace {

using namespace std::chrono_literals;

QString answer(ServerLink &link, std::chrono::milliseconds deadline)
{
    QString text;
    link.run(
        [&](Session &session) {
            QSqlQuery query = Query::run(session.db(), {QStringLiteral("SELECT 'here'"), {}});
            query.next();
            text = query.value(0).toString();
        },
        deadline);
    return text;
}

DbError::Kind failure(const std::function<void()> &work)
{
    try {
        work();
    } catch (const DbError &error) {
        return error.kind();
    }
    return DbError::Kind::Other;
}

} // namespace

// The one way to a server, against the tests' own.
class TestServerLink : public QObject
{
    Q_OBJECT

private slots:
    // The statements of a connection the server took with it are not asked
    // of it again: nothing on standard error for each, then or at the end.
    void anOutageLeavesNoWordsOfTheDriver()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Unable to free statement")));
        const auto server = TestServer::startPrivate();
        {
            ServerLink link(server->uri(QStringLiteral("postgres")));
            const auto prepare = [&] {
                link.run(
                    [](Session &session) {
                        QSqlQuery &query = session.prepared(QStringLiteral("SELECT ?::int"));
                        query.bindValue(0, 1);
                        if (!query.exec())
                            throw Dialect::error(Dialect::Engine::PostgreSQL, query.lastError());
                        query.finish();
                    },
                    5s);
            };
            prepare();
            server->kill();
            QCOMPARE(failure(prepare), DbError::Kind::Unreachable);
            server->start();
            prepare();
            server->kill();
            QCOMPARE(failure(prepare), DbError::Kind::Unreachable);
        }
    }

    void aServerThatHangsIsGivenUpOnAndFoundAgain()
    {
        const auto server = TestServer::startPrivate();
        ServerLink link(server->uri(QStringLiteral("postgres")));
        QSignalSpy back(&link, &ServerLink::reconnected);
        QCOMPARE(answer(link, 5s), QStringLiteral("here"));

        StalledServer stalled(*server);
        QCOMPARE(failure([&] { answer(link, 300ms); }), DbError::Kind::NoAnswer);
        // The statement cut off, its connection dropped: the next one tries a
        // new connection, which hangs in its turn until connect_timeout.
        QVERIFY(!link.isConnected());
        QCOMPARE(failure([&] { answer(link, 5s); }), DbError::Kind::NoAnswer);
        stalled.resume();
        QCOMPARE(answer(link, 5s), QStringLiteral("here"));
        QTRY_COMPARE(back.size(), 1);
    }

    // Several notices close together: the link reads the later ones after a
    // pause, all of them, in the order sent.
    void whatIsNotifiedArrives()
    {
        const TestServer server;
        const QString uri = server.uri(QStringLiteral("postgres"));
        ServerLink listening(uri);
        std::mutex mutex;
        QStringList heard;
        listening.subscribe(QStringLiteral("tessivox_test"), [&](QByteArrayView payload) {
            const std::lock_guard lock(mutex);
            heard << QString::fromUtf8(payload);
            return true;
        });
        QTRY_VERIFY(listening.isConnected());
        const QStringList sent{QStringLiteral("room 1"), QStringLiteral("第2考场"),
                               QStringLiteral("room 3")};
        ServerLink(uri).run(
            [&](Session &session) {
                for (const QString &payload : sent)
                    Query::run(session.db(),
                               {QStringLiteral("SELECT pg_notify('tessivox_test', ?)"), {payload}});
            },
            5s);
        const auto payloads = [&] {
            const std::lock_guard lock(mutex);
            return heard;
        };
        QTRY_COMPARE(payloads(), sent);
    }
};

QTEST_MAIN(TestServerLink)
#include "tst_ServerLink.moc"
