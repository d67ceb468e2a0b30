#include "data/TDataModule1.h"

#include "data/DbError.h"
#include "data/LocalCopy.h"
#include "data/ServerAddress.h"
#include "data/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <atomic>

namespace {

QString uniqueConnectionName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("TDataModule1-%1").arg(++count);
}

void run(const QSqlDatabase &db, const QString &sql)
{
    Query::run(db, {sql, {}});
}

} // namespace

// Without its own limit libpq waits for a silent host as long as the
// network stack does, minutes; keepalives and tcp_user_timeout find a
// connection whose server vanished instead of waiting on it for ever.
QString TDataModule1::withNetworkLimits(const QString &uri)
{
    QUrl url(uri);
    QUrlQuery query(url);
    const auto add = [&](const QString &key, const QString &value) {
        if (!query.hasQueryItem(key))
            query.addQueryItem(key, value);
    };
    add(QStringLiteral("connect_timeout"), QString::number(TDataModule1::ConnectWaitS));
    add(QStringLiteral("keepalives_idle"), QStringLiteral("10"));
    add(QStringLiteral("keepalives_interval"), QStringLiteral("2"));
    add(QStringLiteral("keepalives_count"), QStringLiteral("3"));
    add(QStringLiteral("tcp_user_timeout"), QStringLiteral("5000"));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

TDataModule1::TDataModule1(QString location, Mode mode, const QString &dataFolder)
    : m_path(std::move(location)), m_mode(mode), m_engine(Dialect::of(m_path)),
      m_connectionName(uniqueConnectionName())
{
    if (m_engine == Dialect::Engine::PostgreSQL) {
        m_dataFolder = QDir(dataFolder).absolutePath();
        m_copy = std::make_unique<LocalCopy>(withNetworkLimits(m_path),
                                             m_dataFolder + QStringLiteral("/local-copy.mdb"));
    } else {
        m_dataFolder = QFileInfo(m_path).absolutePath();
    }
    QSqlDatabase::addDatabase(Dialect::driverName(m_engine), m_connectionName);
}

TDataModule1::~TDataModule1()
{
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool TDataModule1::isConnected() const
{
    return QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase TDataModule1::connection(Access access)
{
    QSqlDatabase db = open();
    // A transaction holds the write lock until its commit, which waits for
    // readers like any write.
    const int wanted = access == Access::Write || m_inTransaction ? WriteWaitMs : ReadWaitMs;
    if (wanted != m_waitMs) {
        for (const QString &statement : Dialect::waitFor(Dialect::of(db), wanted))
            run(db, statement);
        m_waitMs = wanted;
    }
    return db;
}

void TDataModule1::disconnect()
{
    reset(Dialect::of(QSqlDatabase::database(m_connectionName, false)));
}

void TDataModule1::reset(Dialect::Engine engine)
{
    // Prepared statements belong to the connection that goes.
    for (Query *query :
         {&ADOQuery1, &ADOQuery2, &ADOQuery3, &ADOQuery4, &ADOQuery5, &ADOQuery6, &ADOQuery7,
          &ADOQuery8, &ADOQuery9, &ADOQuery10, &ADOQuery11, &ADOQuery12, &ADOQuery13, &ADOQuery14})
        query->forgetPrepared();
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
    QSqlDatabase::addDatabase(Dialect::driverName(engine), m_connectionName);
    m_waitMs = 0;
    m_serverProcess = 0;
}

QSqlDatabase TDataModule1::open()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (db.isOpen())
        return db;
    if (m_engine == Dialect::Engine::SQLite) {
        openFile(db, m_path, m_mode);
        return db;
    }
    if (m_onCopy && !m_loading) {
        // The console and the editor need the server itself.
        reset(Dialect::Engine::PostgreSQL);
        m_onCopy = false;
        db = QSqlDatabase::database(m_connectionName, false);
    }
    if (!m_onCopy) {
        try {
            openServer(db);
            m_copyNoticeGiven = false;
            return db;
        } catch (const DbError &error) {
            if (!m_loading || error.kind() != DbError::Kind::Unreachable || !m_copy->exists())
                throw;
        }
        reset(Dialect::Engine::SQLite);
        m_onCopy = true;
        db = QSqlDatabase::database(m_connectionName, false);
        if (!m_copyNoticeGiven) {
            m_notice = QStringLiteral("服务器无法连接，使用本机保存的考试安排（%1 保存）")
                           .arg(m_copy->taken().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            m_copyNoticeGiven = true;
        }
    }
    openFile(db, m_copy->path(), Mode::ReadOnly);
    return db;
}

void TDataModule1::openServer(QSqlDatabase &db)
{
    const QString uri = withNetworkLimits(m_path);
    try {
        ServerAddress::configure(db, uri);
    } catch (const DbError &error) {
        throw DbError(error.text(), DbError::Kind::Unreachable);
    }
    if (!db.open())
        throw Dialect::error(m_engine, db.lastError()).concerning(ServerAddress::shown(m_path));
    m_waitMs = 0;
    QSqlQuery process = Query::run(db, {QStringLiteral("SELECT pg_backend_pid()"), {}});
    m_serverProcess = process.next() ? process.value(0).toLongLong() : 0;
    if (m_mode == Mode::ReadOnly)
        run(db, QStringLiteral("SET default_transaction_read_only = on"));
}

void TDataModule1::openFile(QSqlDatabase &db, const QString &file, Mode mode)
{
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
    m_waitMs = ReadWaitMs;

    // Any file opens; only reading it shows whether it is a database.
    try {
        run(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const DbError &error) {
        db.close();
        throw error.concerning(file);
    }
}

void TDataModule1::transaction(const std::function<void()> &work)
{
    const QSqlDatabase db = connection(Access::Write);
    const QScopedValueRollback inTransaction(m_inTransaction, true);
    Transaction::run(db, work);
}

TDataModule1::Load::Load(TDataModule1 &module) : m_module(module)
{
    m_module.m_loading = true;
    if (m_module.m_onCopy) {
        m_module.reset(Dialect::Engine::PostgreSQL);
        m_module.m_onCopy = false;
    }
}

TDataModule1::Load::~Load()
{
    m_module.m_loading = false;
}

void TDataModule1::Load::finished()
{
    if (m_module.m_copy && !m_module.m_onCopy)
        m_module.m_copy->refresh();
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
