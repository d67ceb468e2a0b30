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

void Query::open()
{
    close();
    QSqlQuery query = run(m_module.connection(TDataModule1::Access::Read), m_statement);
    while (query.next())
        m_rows.append(query.record());
    if (query.lastError().isValid())
        throw DbError::fromSql(query.lastError());
    m_open = true;
    first();
}

int Query::execute()
{
    close();
    return run(m_module.connection(TDataModule1::Access::Write), m_statement)
        .numRowsAffected();
}

void Query::executeAll(const QList<Statement> &statements)
{
    close();
    QSqlQuery query(m_module.connection(TDataModule1::Access::Write));
    query.setForwardOnly(true);
    for (const Statement &statement : statements) {
        m_statement = statement;
        if (statement.sql != query.lastQuery())
            prepare(query, statement.sql);
        bindAndExec(query, statement.values);
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
