#include "data/Query.h"

#include "data/DbError.h"
#include "data/StoredTime.h"
#include "data/TDataModule1.h"

#include <QSqlQuery>

namespace {

void prepare(QSqlQuery &query, const QString &sql)
{
    if (!query.prepare(sql))
        throw DbError::fromSql(query.lastError());
}

void bindAndExec(QSqlQuery &query, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec())
        throw DbError::fromSql(query.lastError());
}

} // namespace

Query::Query(TDataModule1 &module) : m_module(module) {}

Query::~Query() = default;

QSqlQuery Query::run(const QSqlDatabase &db, const Statement &statement)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    prepare(query, statement.sql);
    bindAndExec(query, statement.values);
    return query;
}

void Query::replace(const Statement &statement)
{
    close();
    m_statement = statement;
}

QSqlQuery &Query::executed(const QSqlDatabase &db)
{
    if (!m_prepared) {
        m_prepared = std::make_unique<QSqlQuery>(db);
        m_prepared->setForwardOnly(true);
    }
    QSqlQuery &query = *m_prepared;
    try {
        if (m_statement.sql != m_preparedSql) {
            m_preparedSql.clear();
            prepare(query, m_statement.sql);
            m_preparedSql = m_statement.sql;
        }
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
    QSqlQuery &query = executed(m_module.connection(TDataModule1::Access::Read));
    while (query.next())
        m_rows.append(query.record());
    const QSqlError error = query.lastError();
    // A kept statement left unfinished would hold the file's read lock.
    query.finish();
    if (error.isValid())
        throw DbError::fromSql(error);
    m_open = true;
    first();
}

int Query::execute()
{
    close();
    QSqlQuery &query = executed(m_module.connection(TDataModule1::Access::Write));
    const int changed = query.numRowsAffected();
    query.finish();
    return changed;
}

void Query::executeAll(const QList<Statement> &statements)
{
    close();
    const QSqlDatabase db = m_module.connection(TDataModule1::Access::Write);
    for (const Statement &statement : statements) {
        m_statement = statement;
        executed(db).finish();
    }
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
