#include "TestDatabase.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "data/StoredTime.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>

namespace {

QString uniqueConnectionName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("TestDatabase-%1").arg(++count);
}

} // namespace

TestDatabase::TestDatabase(const QString &title, Content content)
    : m_path(m_dir.filePath(QStringLiteral("data/asdf.mdb"))),
      m_connectionName(uniqueConnectionName())
{
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("data")))
        qFatal("TestDatabase: cannot make a temporary folder");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_path);
    if (!db.open())
        qFatal("TestDatabase: %s", qPrintable(db.lastError().text()));
    if (content == Content::Tables) {
        try {
            Schema::createSchema(db, title);
        } catch (const DbError &error) {
            qFatal("TestDatabase: %s", error.what());
        }
    } else {
        // An empty file is no database yet; a statement makes it one.
        exec(QStringLiteral("PRAGMA user_version = 1"));
    }
}

TestDatabase::~TestDatabase()
{
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QList<QStringList> TestDatabase::rows(const QString &sql, const QVariantList &values)
{
    QList<QStringList> result;
    try {
        QSqlQuery query =
            Query::run(QSqlDatabase::database(m_connectionName, false), {sql, values});
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
