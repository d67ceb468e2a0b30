#include "data/DbError.h"
#include "data/ServerAddress.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

class TestServerAddress : public QObject
{
    Q_OBJECT

private slots:
    void aUriBecomesTheDriversSettings_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QStringList>("expected"); // host, port, database, user, options

        QTest::newRow("host, port, database, user")
            << "postgresql://room@db.school:5433/exams"
            << QStringList{"db.school", "5433", "exams", "room", ""};
        QTest::newRow("socket folder and options in the query")
            << "postgres:///exams?host=/run/pg%20sock&port=5432&sslmode=require"
            << QStringList{"/run/pg sock", "5432", "exams", "", "sslmode='require'"};
        QTest::newRow("an IPv6 address")
            << "postgresql://[::1]:5432/exams" << QStringList{"::1", "5432", "exams", "", ""};
        QTest::newRow("a quote and a backslash in an option stay libpq's")
            << "postgresql://h/d?application_name=O'Brien%5C1"
            << QStringList{"h", "-1", "d", "", "application_name='O\\'Brien\\\\1'"};
    }

    void aUriBecomesTheDriversSettings()
    {
        QFETCH(QString, uri);
        QFETCH(QStringList, expected);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("t"));
        ServerAddress::configure(db, uri);
        QCOMPARE((QStringList{db.hostName(), QString::number(db.port()), db.databaseName(),
                              db.userName(), db.connectOptions()}),
                 expected);
        db = {};
        QSqlDatabase::removeDatabase(QStringLiteral("t"));
    }

    void whatIsNoServerUriIsRefused_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::newRow("a file") << "data.mdb";
        QTest::newRow("a ';' in an option") << "postgresql://h/d?application_name=a;b";
        // libpq would read the name as dbname=old and an option x.
        QTest::newRow("an option name that is none of libpq's")
            << "postgresql://h/d?dbname%3Dold%20x=y";
        QTest::newRow("an unknown option") << "postgresql://h/d?colour=red";
    }

    void whatIsNoServerUriIsRefused()
    {
        QFETCH(QString, uri);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("t"));
        QVERIFY_THROWS_EXCEPTION(DbError, ServerAddress::configure(db, uri));
        db = {};
        QSqlDatabase::removeDatabase(QStringLiteral("t"));
    }

    void aPasswordIsNeverShown()
    {
        QVERIFY(!ServerAddress::isServer(QStringLiteral("./data/asdf.mdb")));
        QCOMPARE(ServerAddress::shown(QStringLiteral("postgresql://u:secret@h/d?password=x&a=b")),
                 QStringLiteral("postgresql://u@h/d?a=b"));
    }

    // Against the tests' own server: what libpq makes of the settings.
    void theServerIsReached()
    {
        const QString socket = qEnvironmentVariable("TESSIVOX_TEST_POSTGRES");
        QVERIFY2(!socket.isEmpty(), "TESSIVOX_TEST_POSTGRES names the test server's socket folder");
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("t"));
            ServerAddress::configure(
                db, QStringLiteral("postgresql:///postgres?host=%1&port=5432&user=postgres"
                                   "&application_name=Room%201%20O'Brien")
                        .arg(socket));
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("SHOW application_name")) && query.next());
            QCOMPARE(query.value(0).toString(), QStringLiteral("Room 1 O'Brien"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("t"));
    }
};

QTEST_MAIN(TestServerAddress)
#include "tst_ServerAddress.moc"
