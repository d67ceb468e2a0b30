#include "TestDatabase.h"

#include "Engines.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/StoredTime.h"
#include "schedule/ScheduleTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>

namespace {

QString uniqueConnectionName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("TestDatabase-%1").arg(++count);
}

// Runs one statement on the server's own database, for creating and dropping
// the tests' databases.
void onServer(const QString &sql)
{
    const QString name = uniqueConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        ServerAddress::configure(db, Engines::serverUri(QStringLiteral("postgres")));
        if (!db.open())
            qFatal("TestDatabase: %s", qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        if (!query.exec(sql))
            qFatal("TestDatabase: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

TestDatabase::TestDatabase(const QString &title, Content content)
    : TestDatabase(Engines::current(), title, content)
{}

TestDatabase::TestDatabase(Dialect::Engine engine, const QString &title, Content content)
    : m_engine(engine), m_path(m_dir.filePath(QStringLiteral("data/asdf.mdb"))),
      m_connectionName(uniqueConnectionName())
{
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("data")))
        qFatal("TestDatabase: cannot make a temporary folder");
    QSqlDatabase db = QSqlDatabase::addDatabase(Dialect::driverName(engine), m_connectionName);
    if (isServer()) {
        static std::atomic<int> count = 0;
        m_database = QStringLiteral("tessivox_test_%1_%2")
                         .arg(QCoreApplication::applicationPid())
                         .arg(++count);
        onServer(QStringLiteral("CREATE DATABASE %1").arg(m_database));
        m_path = Engines::serverUri(m_database);
        ServerAddress::configure(db, m_path);
    } else {
        db.setDatabaseName(m_path);
    }
    if (!db.open())
        qFatal("TestDatabase: %s", qPrintable(db.lastError().text()));
    if (content == Content::Tables) {
        try {
            ScheduleTables::create(db, title);
        } catch (const DbError &error) {
            qFatal("TestDatabase: %s", error.what());
        }
    } else if (!isServer()) {
        // An empty file is no database yet; a statement makes it one.
        exec(QStringLiteral("PRAGMA user_version = 1"));
    }
}

TestDatabase::~TestDatabase()
{
    close();
    QSqlDatabase::removeDatabase(m_connectionName);
    // Connections the test left open (a window's, a tool's) are cut.
    if (isServer())
        onServer(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(m_database));
}

QString TestDatabase::dataFolder() const
{
    return m_dir.filePath(QStringLiteral("data"));
}

void TestDatabase::lockExclusively()
{
    if (isServer()) {
        exec(QStringLiteral("BEGIN"));
        exec(QStringLiteral("LOCK TABLE var, test, sound IN ACCESS EXCLUSIVE MODE"));
    } else {
        exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
}

void TestDatabase::lockForWriting()
{
    for (const QString &statement : ScheduleTables::beginWriting(m_engine))
        exec(statement);
}

void TestDatabase::refuse(const QString &event, const QString &table, const QString &message,
                          const QString &condition)
{
    static std::atomic<int> count = 0;
    const QString name = QStringLiteral("refuse_%1").arg(++count);
    if (!isServer()) {
        exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN %4 "
                            "BEGIN SELECT raise(abort, '%5'); END")
                 .arg(name, event, table, condition, message));
        return;
    }
    exec(
        QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                       "'BEGIN IF %2 THEN RAISE EXCEPTION ''%3''; END IF; RETURN %4; END'")
            .arg(name, QString(condition).replace('\'', "''"), message,
                 event == QLatin1String("delete") ? QStringLiteral("OLD") : QStringLiteral("NEW")));
    exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %1()")
             .arg(name, event, table));
}

void TestDatabase::unlock()
{
    exec(QStringLiteral("ROLLBACK"));
}

QList<QStringList> TestDatabase::rows(const QString &sql, const QVariantList &values)
{
    QList<QStringList> result;
    try {
        QSqlQuery query = Query::run(QSqlDatabase::database(m_connectionName), {sql, values});
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.isNull(i) ? QString() : query.value(i).toString());
            result.append(row);
        }
    } catch (const DbError &error) {
        qFatal("TestDatabase: %s: %s", qPrintable(sql), error.what());
    }
    return result;
}

void TestDatabase::close()
{
    QSqlDatabase::database(m_connectionName, false).close();
}

void TestDatabase::exec(const QString &sql, const QVariantList &values)
{
    rows(sql, values);
}

void TestDatabase::addTitle(int id, const QString &title)
{
    exec(QStringLiteral("INSERT INTO var (id, systitle) VALUES (?, ?)"), {id, title});
}

void TestDatabase::addSubject(const QString &subject, const QString &start, const QString &end)
{
    exec(QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) VALUES (?, ?, ?)"),
         {subject, start, end});
}

void TestDatabase::addSubject(const QString &subject, const QDateTime &start, const QDateTime &end)
{
    addSubject(subject, StoredTime::fromDateTime(start), StoredTime::fromDateTime(end));
}

void TestDatabase::addSound(const QString &subject, const QString &filename, const QString &explain,
                            const QString &playtime)
{
    exec(QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                        "VALUES (?, ?, ?, ?)"),
         {subject, filename, explain, playtime});
}

void TestDatabase::addSound(const QString &subject, const QString &filename, const QString &explain,
                            const QTime &playtime)
{
    addSound(subject, filename, explain, StoredTime::fromTime(playtime));
}
