#include "office/ServerConnection.h"

#include "data/DbError.h"
#include "data/ServerAddress.h"

#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace {

QString uniqueName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("ServerConnection-%1").arg(++count);
}

} // namespace

ServerConnection::ServerConnection(const QString &uri) : m_uri(uri), m_name(uniqueName())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    ServerAddress::configure(db, uri);
    // libpq waits for an unreachable host as long as TCP does, minutes;
    // a room's report and the office's board want to know sooner.
    if (!db.connectOptions().contains(QLatin1String("connect_timeout")))
        db.setConnectOptions(db.connectOptions() +
                             (db.connectOptions().isEmpty() ? QString() : QStringLiteral(";")) +
                             QStringLiteral("connect_timeout=%1").arg(ConnectTimeoutS));
}

ServerConnection::~ServerConnection()
{
    close();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase ServerConnection::open()
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!db.isOpen() && !db.open()) {
        const QSqlError error = db.lastError();
        db.close();
        throw DbError::fromSql(error, ServerAddress::shown(m_uri));
    }
    return db;
}

void ServerConnection::close()
{
    QSqlDatabase::database(m_name, false).close();
}

void ServerConnection::execute(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw DbError::fromSql(query.lastError());
}

void ServerConnection::transaction(QSqlDatabase db, const std::function<void()> &work)
{
    if (!db.transaction())
        throw DbError::fromSql(db.lastError());
    try {
        work();
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw DbError::fromSql(db.lastError());
}
