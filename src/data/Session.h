#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <memory>

class QSqlQuery;

// An open connection as a job's statements see it: the database, how long
// its statements may wait for a lock, and the statements prepared on it so
// far, which later jobs use again instead of preparing them anew. A
// session belongs to the thread of its connection.
class Session final
{
public:
    explicit Session(QSqlDatabase db);
    // Drops the prepared statements, which belong to the connection, and
    // closes it.
    ~Session();
    Q_DISABLE_COPY_MOVE(Session)

    const QSqlDatabase &db() const { return m_db; }
    // Sets how long the next statements may wait for another writer's lock
    // (and on a server for an answer at all), unless already set. Throws
    // DbError.
    void waitFor(int milliseconds);
    // The query prepared for sql; prepared now when new. Throws DbError.
    QSqlQuery &prepared(const QString &sql);
    // Hands the prepared statements over, to be let go after the driver: a
    // statement outliving its driver asks no server to free it.
    using Statements = QHash<QString, std::shared_ptr<QSqlQuery>>;
    Statements takeStatements() { return std::exchange(m_prepared, {}); }

private:
    QSqlDatabase m_db;
    int m_waitMs = -1;
    Statements m_prepared;
};
