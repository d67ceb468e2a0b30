#include "data/TDataModule1.h"

#include "data/DbError.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/Transaction.h"
#include "schedule/LocalCopy.h"

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

// What a load may answer from the local copy instead: the server is away,
// silent or full, not a refusal that the copy would only hide.
bool copyMayStandIn(DbError::Kind kind)
{
    return kind == DbError::Kind::Unreachable || kind == DbError::Kind::NoAnswer ||
           kind == DbError::Kind::Full;
}

} // namespace

TDataModule1::TDataModule1(QString location, Mode mode, const QString &dataFolder, ServerLink *link)
    : m_path(std::move(location)), m_mode(mode), m_engine(Dialect::of(m_path)),
      m_connectionName(uniqueConnectionName())
{
    if (m_engine == Dialect::Engine::PostgreSQL) {
        m_dataFolder = QDir(dataFolder).absolutePath();
        m_copy =
            std::make_unique<LocalCopy>(m_path, m_dataFolder + QStringLiteral("/local-copy.mdb"));
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
    if (m_link && !m_onCopy)
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
    if (!m_link || (m_onCopy && m_loading)) {
        job(fileSession());
        return;
    }
    if (m_onCopy) {
        // The console and the editor need the server itself.
        m_file.reset();
        m_onCopy = false;
    }
    try {
        onServer(access, job);
        m_copyNoticeGiven = false;
    } catch (const DbError &error) {
        if (!m_loading || !copyMayStandIn(error.kind()) || !m_copy->isUsable())
            throw;
        turnToCopy(error.kind());
        job(fileSession());
    }
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

void TDataModule1::turnToCopy(DbError::Kind why)
{
    m_file.reset();
    m_onCopy = true;
    if (m_copyNoticeGiven)
        return;
    m_notice = QStringLiteral("%1，使用本机保存的考试安排（%2 保存）")
                   .arg(why == DbError::Kind::Full ? QStringLiteral("服务器连接数已满")
                                                   : QStringLiteral("服务器无法连接"),
                        m_copy->taken().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    m_copyNoticeGiven = true;
}

Session &TDataModule1::fileSession()
{
    if (m_file)
        return *m_file;
    const QString file = m_onCopy ? m_copy->path() : m_path;
    const Mode mode = m_onCopy ? Mode::ReadOnly : m_mode;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // mode=rw makes a missing file an error instead of a new empty database;
    // QUrl builds the URI because a '#' or '?' in a folder name would
    // otherwise end the path.
    const QString absolute = QFileInfo(file).absoluteFilePath();
    db.setDatabaseName(
        QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded) +
        (mode == Mode::ReadOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw")));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(ReadWaitMs));
    if (!db.open())
        throw Dialect::error(Dialect::Engine::SQLite, db.lastError()).concerning(file);

    // Any file opens; only reading it shows whether it is a database.
    try {
        Query::run(db, {QStringLiteral("SELECT count(*) FROM sqlite_master"), {}});
    } catch (const DbError &error) {
        db.close();
        throw error.concerning(file);
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

TDataModule1::Load::Load(TDataModule1 &module) : m_module(module)
{
    m_module.m_loading = true;
    if (m_module.m_onCopy) {
        m_module.m_file.reset();
        m_module.m_onCopy = false;
    }
}

TDataModule1::Load::~Load()
{
    m_module.m_loading = false;
}

void TDataModule1::Load::finished()
{
    if (!m_module.m_copy || m_module.m_onCopy)
        return;
    // The server answered: the next time it cannot, the user is told again.
    m_module.m_copyNoticeGiven = false;
    m_module.m_copy->refresh(*m_module.m_link);
}

bool TDataModule1::Load::standIn(DbError::Kind why)
{
    if (!m_module.m_copy || !copyMayStandIn(why) || !m_module.m_copy->isUsable())
        return false;
    m_module.turnToCopy(why);
    return true;
}

QString TDataModule1::takeNotice()
{
    return std::exchange(m_notice, QString());
}

void TDataModule1::waitForLocalCopy()
{
    if (m_copy)
        m_copy->wait();
}

QString TDataModule1::localCopyPath() const
{
    return m_copy ? m_copy->path() : QString();
}
