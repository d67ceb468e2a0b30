#include "data/LocalCopy.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundSchema.h"
#include "data/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QUrl>
#include <atomic>
#include <filesystem>

namespace {

// A copy being written takes seconds; files of one older than this were
// left by a program that was killed or lost its power meanwhile.
constexpr int StagingLifeS = 60;

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

void removeLeftovers(const QFileInfo &target)
{
    const QDateTime old = QDateTime::currentDateTime().addSecs(-StagingLifeS);
    const QDir folder = target.absoluteDir();
    // The staging files and SQLite's journals beside them.
    for (const QFileInfo &file : folder.entryInfoList({target.fileName() + QStringLiteral(".*")},
                                                      QDir::Files | QDir::Hidden)) {
        if (file.lastModified() < old)
            QFile::remove(file.absoluteFilePath());
    }
}

} // namespace

LocalCopy::LocalCopy(QString serverUri, QString path)
    : m_serverUri(std::move(serverUri)), m_path(std::move(path))
{}

LocalCopy::~LocalCopy()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
        if (m_link)
            m_link->stop();
    }
    wait();
}

QDateTime LocalCopy::taken() const
{
    if (!QFileInfo(m_path).isFile())
        return {};
    const QString name = uniqueConnectionName("read");
    const auto remove = qScopeGuard([&] { QSqlDatabase::removeDatabase(name); });
    QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    copy.setDatabaseName(
        QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        QStringLiteral("?mode=ro"));
    copy.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    QDateTime taken;
    if (copy.open()) {
        QSqlQuery origin(copy);
        if (origin.exec(QStringLiteral("SELECT server, taken FROM local_copy")) && origin.next() &&
            origin.value(0).toString() == ServerAddress::origin(m_serverUri))
            taken = QDateTime::fromString(origin.value(1).toString(), Qt::ISODateWithMs);
    }
    copy.close();
    return taken;
}

void LocalCopy::refresh()
{
    std::lock_guard lock(m_mutex);
    if (m_writing || m_ending)
        return;
    if (m_writer.joinable())
        m_writer.join();
    m_writing = true;
    m_writer = std::thread([this] {
        try {
            ServerLink link(m_serverUri);
            {
                const std::lock_guard lock(m_mutex);
                m_link = &link;
                if (m_ending)
                    link.stop();
            }
            const auto forget = qScopeGuard([this] {
                const std::lock_guard lock(m_mutex);
                m_link = nullptr;
            });
            write(link, m_path);
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

void LocalCopy::write(ServerLink &link, const QString &path)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw DbError(target.absolutePath() + QStringLiteral(": cannot create the folder"));
    removeLeftovers(target);
    QTemporaryFile staging(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!staging.open())
        throw DbError(staging.fileTemplate() + QStringLiteral(": ") + staging.errorString());
    staging.close();

    // The copy is written on the link's thread, whose connection reads it.
    link.run(
        [&](Session &session) {
            session.waitFor(LockWaitMs);
            const QSqlDatabase &server = session.db();
            const QString copyName = uniqueConnectionName("copy");
            const auto remove = qScopeGuard([&] { QSqlDatabase::removeDatabase(copyName); });
            QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), copyName);
            copy.setDatabaseName(staging.fileName());
            if (!copy.open())
                throw Dialect::error(Dialect::Engine::SQLite, copy.lastError());
            // One snapshot of all three tables: an administrator's save
            // meanwhile is in the copy whole or not at all.
            Query::run(server,
                       {QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}});
            const QDateTime taken = QDateTime::currentDateTime();
            try {
                Transaction::run(copy, [&] {
                    for (const QString &statement : Dialect::createTables(Dialect::Engine::SQLite))
                        Query::run(copy, {statement, {}});
                    copyTable(server, copy, QStringLiteral("var"), {"id", "systitle"});
                    copyTable(server, copy, QStringLiteral("test"),
                              {"subjectname", "starttime", "endtime"});
                    // The server's rowids, by which a run started from the copy
                    // knows its instructions when it follows the server again.
                    copyTable(server, copy, QStringLiteral("sound"),
                              {"rowid", "subjectname", "filename", "explain", "playtime"});
                    Query::run(copy, {QStringLiteral("CREATE TABLE local_copy (server TEXT, "
                                                     "taken TEXT)"),
                                      {}});
                    // Which recording each name stood for: a room cut off from
                    // the server plays what its cache received of them.
                    if (SoundSchema::present(server)) {
                        Query::run(copy, {QStringLiteral("CREATE TABLE sound_file (name TEXT "
                                                         "PRIMARY KEY, sha256 TEXT NOT NULL, "
                                                         "size INTEGER NOT NULL)"),
                                          {}});
                        copyTable(server, copy, QStringLiteral("sound_file"),
                                  {"name", "sha256", "size"}, QStringLiteral("name"));
                    }
                    Query::run(copy, {QStringLiteral("INSERT INTO local_copy VALUES (?, ?)"),
                                      {ServerAddress::origin(link.uri()),
                                       taken.toOffsetFromUtc(taken.offsetFromUtc())
                                           .toString(Qt::ISODateWithMs)}});
                });
            } catch (...) {
                QSqlQuery(server).exec(QStringLiteral("ROLLBACK"));
                copy.close();
                throw;
            }
            Query::run(server, {QStringLiteral("COMMIT"), {}});
            copy.close();
        },
        Deadline);

    staging.setAutoRemove(false);
    std::error_code failed;
    std::filesystem::rename(QFile::encodeName(staging.fileName()).toStdString(),
                            QFile::encodeName(target.absoluteFilePath()).toStdString(), failed);
    if (failed) {
        QFile::remove(staging.fileName());
        throw DbError(path + QStringLiteral(": ") + QString::fromStdString(failed.message()));
    }
}
