#include "data/Session.h"

#include "data/Dialect.h"
#include "data/Query.h"

#include <QSqlQuery>

Session::Session(QSqlDatabase db) : m_db(std::move(db)) {}

Session::~Session()
{
    m_prepared.clear();
    m_db.close();
}

void Session::waitFor(int milliseconds)
{
    if (milliseconds == m_waitMs)
        return;
    for (const QString &statement : Dialect::waitFor(Dialect::of(m_db), milliseconds))
        Query::run(m_db, {statement, {}});
    m_waitMs = milliseconds;
}

QSqlQuery &Session::prepared(const QString &sql)
{
    if (const auto known = m_prepared.constFind(sql); known != m_prepared.cend())
        return **known;
    auto query = std::make_shared<QSqlQuery>(m_db);
    query->setForwardOnly(true);
    const Dialect::Engine engine = Dialect::of(m_db);
    if (!query->prepare(Dialect::statement(engine, sql)))
        throw Dialect::error(engine, query->lastError());
    return *m_prepared.insert(sql, std::move(query)).value();
}
