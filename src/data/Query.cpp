#include "data/Query.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Session.h"
#include "data/StoredTime.h"
#include "data/TDataModule1.h"

#include <QSqlDriver>
#include <QSqlQuery>

namespace {

Dialect::Engine engineOf(const QSqlQuery &query)
{
    return query.driver()->dbmsType() == QSqlDriver::PostgreSQL ? Dialect::Engine::PostgreSQL
                                                                : Dialect::Engine::SQLite;
}

void prepare(QSqlQuery &query, const QString &sql)
{
    const Dialect::Engine engine = engineOf(query);
    if (!query.prepare(Dialect::statement(engine, sql)))
        throw Dialect::error(engine, query.lastError());
}

void bindAndExec(QSqlQuery &query, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec())
        throw Dialect::error(engineOf(query), query.lastError());
}

} // namespace

Query::Query(TDataModule1 &module) : m_module(module) {}

Query::~Query() = default;

QSqlQuery Query::run(const QSqlDatabase &db, const Statement &statement)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // A server prepares only statements that take values: BEGIN, LOCK or
    // SET cannot be prepared there.
    if (statement.values.isEmpty()) {
        if (!query.exec(Dialect::statement(engineOf(query), statement.sql)))
            throw Dialect::error(engineOf(query), query.lastError());
        return query;
    }
    prepare(query, statement.sql);
    bindAndExec(query, statement.values);
    return query;
}

void Query::replace(const Statement &statement)
{
    close();
    m_statement = statement;
}

QSqlQuery &Query::executed(Session &session) const
{
    QSqlQuery &query = session.prepared(m_statement.sql);
    try {
        bindAndExec(query, m_statement.values);
    } catch (const DbError &) {
        query.finish();
        throw;
    }
    return query;
}

void Query::open()
{
    close();
    m_module.use(TDataModule1::Access::Read, [this](Session &session) { m_rows = read(session); });
    m_open = true;
    first();
}

QList<QSqlRecord> Query::read(Session &session) const
{
    QSqlQuery &query = executed(session);
    QList<QSqlRecord> rows;
    while (query.next())
        rows.append(query.record());
    const QSqlError error = query.lastError();
    // A kept statement left unfinished would hold the file's read lock.
    query.finish();
    if (error.isValid())
        throw Dialect::error(engineOf(query), error);
    return rows;
}

int Query::execute()
{
    close();
    int changed = 0;
    m_module.use(TDataModule1::Access::Write, [&](Session &session) {
        QSqlQuery &query = executed(session);
        changed = query.numRowsAffected();
        query.finish();
    });
    return changed;
}

void Query::executeAll(const QList<Statement> &statements)
{
    close();
    m_module.use(TDataModule1::Access::Write, [&](Session &session) {
        for (const Statement &statement : statements) {
            m_statement = statement;
            executed(session).finish();
        }
    });
}

void Query::swapResult(Query &other)
{
    std::swap(m_rows, other.m_rows);
    std::swap(m_row, other.m_row);
    std::swap(m_eof, other.m_eof);
    std::swap(m_open, other.m_open);
}

void Query::close()
{
    m_rows.clear();
    m_row = 0;
    m_eof = true;
    m_open = false;
}

void Query::first()
{
    m_row = 0;
    m_eof = m_rows.isEmpty();
}

void Query::next()
{
    if (m_eof)
        return;
    if (m_row + 1 < m_rows.size())
        ++m_row;
    else
        m_eof = true;
}

void Query::prior()
{
    if (m_rows.isEmpty())
        return;
    if (m_row > 0)
        --m_row;
    m_eof = false;
}

QString Query::text(const QString &column) const
{
    if (m_row >= m_rows.size())
        return {};
    const QSqlRecord &record = m_rows.at(m_row);
    // A misspelt column would otherwise read as empty text and hide the fault.
    if (record.indexOf(column) < 0)
        throw DbError(QStringLiteral("no such column: %1").arg(column));
    return record.value(column).toString();
}

QDateTime Query::dateTime(const QString &column) const
{
    return StoredTime::toDateTime(text(column));
}

QTime Query::time(const QString &column) const
{
    return StoredTime::toTime(text(column));
}
