#include "data/LocalCopy.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/SoundSchema.h"
#include "data/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QThread>
#include <atomic>
#include <filesystem>

namespace {

QString uniqueConnectionName(const char *role)
{
    static std::atomic<int> count = 0;
    return QStringLiteral("LocalCopy-%1-%2").arg(QLatin1String(role)).arg(++count);
}

// Each table's rows in the order they were stored, so that the copy gives
// subjects and instructions back in the server's order.
void copyTable(const QSqlDatabase &from, const QSqlDatabase &to, const QString &table,
               const QStringList &columns, const QString &order = QStringLiteral("rowid"))
{
    const QString list = columns.join(QStringLiteral(", "));
    QSqlQuery rows = Query::run(
        from, {QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(list, table, order), {}});
    const QString marks =
        QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "));
    QSqlQuery insert(to);
    insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, list, marks));
    while (rows.next()) {
        for (int i = 0; i < columns.size(); ++i)
            insert.bindValue(i, rows.value(i));
        if (!insert.exec())
            throw Dialect::error(Dialect::Engine::SQLite, insert.lastError());
    }
}

} // namespace

LocalCopy::LocalCopy(QString serverUri, QString path)
    : m_serverUri(std::move(serverUri)), m_path(std::move(path))
{}

LocalCopy::~LocalCopy()
{
    wait();
}

bool LocalCopy::exists() const
{
    return QFileInfo(m_path).isFile();
}

QDateTime LocalCopy::taken() const
{
    const QFileInfo file(m_path);
    return file.isFile() ? file.lastModified() : QDateTime();
}

void LocalCopy::refresh()
{
    std::lock_guard lock(m_mutex);
    if (m_writing)
        return;
    if (m_writer.joinable())
        m_writer.join();
    m_writing = true;
    m_writer = std::thread([this] {
        try {
            write(m_serverUri, m_path);
        } catch (const std::exception &error) {
            // The old copy stays; the next load tries again.
            qWarning("Tessivox: the local copy of the schedule was not written: %s", error.what());
        }
        std::lock_guard done(m_mutex);
        m_writing = false;
    });
}

void LocalCopy::wait()
{
    std::thread writer;
    {
        // The writer takes the lock to say it is done: join without it.
        std::lock_guard lock(m_mutex);
        writer = std::move(m_writer);
    }
    if (writer.joinable())
        writer.join();
}

void LocalCopy::write(const QString &serverUri, const QString &path)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw DbError(target.absolutePath() + QStringLiteral(": cannot create the folder"));
    QTemporaryFile staging(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!staging.open())
        throw DbError(staging.fileTemplate() + QStringLiteral(": ") + staging.errorString());
    staging.close();

    const QString serverName = uniqueConnectionName("server");
    const QString copyName = uniqueConnectionName("copy");
    const auto remove = qScopeGuard([&] {
        QSqlDatabase::removeDatabase(serverName);
        QSqlDatabase::removeDatabase(copyName);
    });
    {
        QSqlDatabase server = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), serverName);
        ServerAddress::configure(server, serverUri);
        if (!server.open())
            throw Dialect::error(Dialect::Engine::PostgreSQL, server.lastError());
        QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), copyName);
        copy.setDatabaseName(staging.fileName());
        if (!copy.open())
            throw Dialect::error(Dialect::Engine::SQLite, copy.lastError());
        // One snapshot of all three tables: an administrator's save
        // meanwhile is in the copy whole or not at all.
        Query::run(server, {QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}});
        Transaction::run(copy, [&] {
            for (const QString &statement : Dialect::createTables(Dialect::Engine::SQLite))
                Query::run(copy, {statement, {}});
            copyTable(server, copy, QStringLiteral("var"), {"id", "systitle"});
            copyTable(server, copy, QStringLiteral("test"),
                      {"subjectname", "starttime", "endtime"});
            copyTable(server, copy, QStringLiteral("sound"),
                      {"subjectname", "filename", "explain", "playtime"});
            // Which recording each name stood for: a room cut off from the
            // server plays what its cache received of them.
            if (SoundSchema::present(server)) {
                Query::run(copy, {QStringLiteral("CREATE TABLE sound_file (name TEXT PRIMARY KEY, "
                                                 "sha256 TEXT NOT NULL, size INTEGER NOT NULL)"),
                                  {}});
                copyTable(server, copy, QStringLiteral("sound_file"), {"name", "sha256", "size"},
                          QStringLiteral("name"));
            }
        });
        Query::run(server, {QStringLiteral("COMMIT"), {}});
        copy.close();
        server.close();
    }
    staging.setAutoRemove(false);
    std::error_code failed;
    std::filesystem::rename(QFile::encodeName(staging.fileName()).toStdString(),
                            QFile::encodeName(target.absoluteFilePath()).toStdString(), failed);
    if (failed) {
        QFile::remove(staging.fileName());
        throw DbError(path + QStringLiteral(": ") + QString::fromStdString(failed.message()));
    }
}
