#include "data/TDataModule1.h"

#include "data/DbError.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>
#include <atomic>

namespace {

QString uniqueConnectionName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("TDataModule1-%1").arg(++count);
}

} // namespace

TDataModule1::TDataModule1(QString location, Mode mode, const QString &dataFolder, ServerLink *link)
    : m_path(std::move(location)), m_mode(mode), m_engine(Dialect::of(m_path)),
      m_connectionName(uniqueConnectionName())
{
    if (m_engine == Dialect::Engine::PostgreSQL) {
        m_dataFolder = QDir(dataFolder).absolutePath();
        if (!link) {
            m_ownLink = std::make_unique<ServerLink>(m_path, mode == Mode::ReadOnly);
            link = m_ownLink.get();
        }
        m_link = link;
    } else {
        m_dataFolder = QFileInfo(m_path).absolutePath();
    }
    QSqlDatabase::addDatabase(Dialect::driverName(Dialect::Engine::SQLite), m_connectionName);
}

TDataModule1::~TDataModule1()
{
    m_file.reset();
    QSqlDatabase::removeDatabase(m_connectionName);
}

qint64 TDataModule1::serverProcess() const
{
    return m_link ? m_link->serverProcess() : 0;
}

bool TDataModule1::isConnected() const
{
    if (m_link)
        return m_link->isConnected();
    return m_file && m_file->db().isOpen();
}

void TDataModule1::use(Access access, const std::function<void(Session &)> &work)
{
    if (m_jobSession) {
        work(*m_jobSession);
        return;
    }
    // A transaction holds the write lock until its commit, which waits for
    // readers like any write.
    const int waitMs = access == Access::Write || m_inTransaction ? WriteWaitMs : ReadWaitMs;
    const auto job = [&](Session &session) {
        session.waitFor(waitMs);
        work(session);
    };
    if (m_link)
        onServer(access, job);
    else
        job(fileSession());
}

void TDataModule1::onServer(Access access, const std::function<void(Session &)> &job)
{
    const auto deadline = m_deadline.count() > 0                       ? m_deadline
                          : access == Access::Read && !m_inTransaction ? ReadDeadline
                                                                       : WriteDeadline;
    try {
        m_link->run(job, deadline);
    } catch (const DbError &error) {
        // A server restarted since the last statement: the first statement
        // on the old connection fails, one on a new connection may not. A
        // write is not tried again, since it may have been done.
        if (error.kind() != DbError::Kind::Unreachable || access != Access::Read || m_inTransaction)
            throw;
        m_link->run(job, deadline);
    }
}

Session &TDataModule1::fileSession()
{
    if (m_file)
        return *m_file;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // mode=rw makes a missing file an error instead of a new empty database;
    // QUrl builds the URI because a '#' or '?' in a folder name would
    // otherwise end the path.
    const QString absolute = QFileInfo(m_path).absoluteFilePath();
    db.setDatabaseName(
        QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded) +
        (m_mode == Mode::ReadOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw")));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(ReadWaitMs));
    if (!db.open())
        throw Dialect::error(Dialect::Engine::SQLite, db.lastError()).concerning(m_path);

    // Any file opens; only reading it shows whether it is a database.
    try {
        Query::run(db, {QStringLiteral("SELECT count(*) FROM sqlite_master"), {}});
    } catch (const DbError &error) {
        db.close();
        throw error.concerning(m_path);
    }
    m_file = std::make_unique<Session>(db);
    return *m_file;
}

void TDataModule1::transaction(const QStringList &begin, const std::function<void()> &work)
{
    const QScopedValueRollback inTransaction(m_inTransaction, true);
    // One job: nothing else's statements land inside the transaction.
    use(Access::Write, [&](Session &session) {
        const QScopedValueRollback inJob(m_jobSession, &session);
        Transaction::run(session.db(), begin, work);
    });
}
