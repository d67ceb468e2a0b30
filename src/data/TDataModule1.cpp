#include "data/TDataModule1.h"

#include "data/DbError.h"
#include "data/Transaction.h"

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

void run(const QSqlDatabase &db, const QString &sql)
{
    Query::run(db, {sql, {}});
}

} // namespace

TDataModule1::TDataModule1(QString path, Mode mode)
    : m_path(std::move(path)), m_mode(mode), m_connectionName(uniqueConnectionName())
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
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
        run(db, QStringLiteral("PRAGMA busy_timeout = %1").arg(wanted));
        m_waitMs = wanted;
    }
    return db;
}

QSqlDatabase TDataModule1::open()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (db.isOpen())
        return db;

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
        throw DbError::fromSql(db.lastError(), m_path);
    m_waitMs = ReadWaitMs;

    // Any file opens; only reading it shows whether it is a database.
    try {
        run(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const DbError &error) {
        db.close();
        throw DbError(m_path + QStringLiteral(": ") + error.text());
    }
    return db;
}

void TDataModule1::transaction(const std::function<void()> &work)
{
    const QSqlDatabase db = connection(Access::Write);
    const QScopedValueRollback inTransaction(m_inTransaction, true);
    Transaction::run(db, work);
}
