#include "schedule/LocalCopy.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundSchema.h"
#include "data/StagingFile.h"
#include "data/Transaction.h"
#include "schedule/ScheduleTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <atomic>

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
QList<QVariantList> rowsOf(const QSqlDatabase &from, const QString &table,
                           const QStringList &columns,
                           const QString &order = QStringLiteral("rowid"))
{
    QSqlQuery rows = Query::run(from, {QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                           .arg(columns.join(QStringLiteral(", ")), table, order),
                                       {}});
    QList<QVariantList> all;
    while (rows.next()) {
        QVariantList row;
        for (int i = 0; i < columns.size(); ++i)
            row << rows.value(i);
        all << row;
    }
    return all;
}

void insertRows(const QSqlDatabase &to, const QString &table, const QStringList &columns,
                const QList<QVariantList> &rows)
{
    const QString marks =
        QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "));
    QSqlQuery insert(to);
    insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(table, columns.join(QStringLiteral(", ")), marks));
    for (const QVariantList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            insert.bindValue(i, row[i]);
        if (!insert.exec())
            throw Dialect::error(Dialect::Engine::SQLite, insert.lastError());
    }
}

const QStringList VarColumns{"id", "systitle"};
const QStringList TestColumns{"subjectname", "starttime", "endtime"};
// The server's rowids, by which a run started from the copy knows its
// instructions when it follows the server again.
const QStringList SoundColumns{"rowid", "subjectname", "filename", "explain", "playtime"};
const QStringList SoundFileColumns{"name", "sha256", "size"};

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
    std::thread writer;
    {
        const std::lock_guard lock(m_mutex);
        writer = std::move(m_writer);
    }
    if (writer.joinable())
        writer.join();
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

void LocalCopy::refresh(ServerLink &link)
{
    if (m_reading)
        return;
    m_reading = true;
    auto content = std::make_shared<Content>();
    link.post(
        [content](Session &session) {
            session.waitFor(LockWaitMs);
            *content = read(session.db());
        },
        Deadline, this,
        [this, content](std::exception_ptr failure) {
            m_reading = false;
            try {
                if (failure)
                    std::rethrow_exception(failure);
            } catch (const std::exception &error) {
                // The old copy stays; the next load tries again.
                qWarning("Tessivox: the local copy of the schedule was not written: %s",
                         error.what());
                return;
            }
            if (m_haveLast && *content == m_last)
                return;
            written(*content);
            emit changed();
        });
}

void LocalCopy::written(const Content &content)
{
    const std::lock_guard lock(m_mutex);
    // A copy still being written: the next load that finds a change
    // writes it.
    if (m_writing)
        return;
    if (m_writer.joinable())
        m_writer.join();
    m_writing = true;
    m_last = content;
    m_haveLast = true;
    m_writer = std::thread([this, content, origin = ServerAddress::origin(m_serverUri)] {
        try {
            write(content, origin, m_path);
        } catch (const std::exception &error) {
            qWarning("Tessivox: the local copy of the schedule was not written: %s", error.what());
            const std::lock_guard failed(m_mutex);
            m_haveLast = false;
        }
        const std::lock_guard done(m_mutex);
        m_writing = false;
    });
}

void LocalCopy::wait()
{
    while (m_reading)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    std::thread writer;
    {
        // The writer takes the lock to say it is done: join without it.
        std::lock_guard lock(m_mutex);
        writer = std::move(m_writer);
    }
    if (writer.joinable())
        writer.join();
}

LocalCopy::Content LocalCopy::read(const QSqlDatabase &server)
{
    // One snapshot of all the tables: an administrator's save meanwhile is
    // in the copy whole or not at all.
    Query::run(server, {QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}});
    Content content;
    try {
        content.var = rowsOf(server, QStringLiteral("var"), VarColumns);
        content.test = rowsOf(server, QStringLiteral("test"), TestColumns);
        content.sound = rowsOf(server, QStringLiteral("sound"), SoundColumns);
        content.keepsRecordings = SoundSchema::present(server);
        if (content.keepsRecordings)
            content.soundFile = rowsOf(server, QStringLiteral("sound_file"), SoundFileColumns,
                                       QStringLiteral("name"));
    } catch (...) {
        QSqlQuery(server).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    Query::run(server, {QStringLiteral("COMMIT"), {}});
    return content;
}

void LocalCopy::write(const Content &content, const QString &origin, const QString &path)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw DbError(target.absolutePath() + QStringLiteral(": cannot create the folder"));
    removeLeftovers(target);
    StagingFile staging(target.absoluteFilePath());

    {
        const QString copyName = uniqueConnectionName("copy");
        const auto remove = qScopeGuard([&] { QSqlDatabase::removeDatabase(copyName); });
        QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), copyName);
        copy.setDatabaseName(staging.path());
        if (!copy.open())
            throw Dialect::error(Dialect::Engine::SQLite, copy.lastError());
        const QDateTime taken = QDateTime::currentDateTime();
        try {
            Transaction::run(copy, ScheduleTables::beginWriting(Dialect::Engine::SQLite), [&] {
                for (const QString &statement :
                     ScheduleTables::createStatements(Dialect::Engine::SQLite))
                    Query::run(copy, {statement, {}});
                insertRows(copy, QStringLiteral("var"), VarColumns, content.var);
                insertRows(copy, QStringLiteral("test"), TestColumns, content.test);
                insertRows(copy, QStringLiteral("sound"), SoundColumns, content.sound);
                Query::run(
                    copy,
                    {QStringLiteral("CREATE TABLE local_copy (server TEXT, taken TEXT)"), {}});
                // A room cut off from the server plays what its cache
                // received of the recordings.
                if (content.keepsRecordings) {
                    Query::run(copy, {QStringLiteral("CREATE TABLE sound_file (name TEXT "
                                                     "PRIMARY KEY, sha256 TEXT NOT NULL, "
                                                     "size INTEGER NOT NULL)"),
                                      {}});
                    insertRows(copy, QStringLiteral("sound_file"), SoundFileColumns,
                               content.soundFile);
                }
                Query::run(
                    copy,
                    {QStringLiteral("INSERT INTO local_copy VALUES (?, ?)"),
                     {origin,
                      taken.toOffsetFromUtc(taken.offsetFromUtc()).toString(Qt::ISODateWithMs)}});
            });
        } catch (...) {
            copy.close();
            throw;
        }
        copy.close();
    }

    if (const QString failed = staging.moveTo(target.absoluteFilePath(), true); !failed.isEmpty())
        throw DbError(path + QStringLiteral(": ") + failed);
}
