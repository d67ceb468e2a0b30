#include "data/Schema.h"

#include "data/DbError.h"
#include "data/Query.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace Schema {

void createSchema(QSqlDatabase &db, const QString &title)
{
    if (!db.transaction())
        throw DbError::fromSql(db.lastError());
    try {
        Query::run(
            db, {QStringLiteral("CREATE TABLE var (id INTEGER PRIMARY KEY, systitle TEXT)"), {}});
        Query::run(db, {QStringLiteral("CREATE TABLE test (subjectname TEXT, starttime TEXT, "
                                       "endtime TEXT)"),
                        {}});
        Query::run(db, {QStringLiteral("CREATE TABLE sound (subjectname TEXT, filename TEXT, "
                                       "explain TEXT, playtime TEXT)"),
                        {}});
        Query::run(db, {QStringLiteral("INSERT INTO var (id, systitle) VALUES (1, ?)"), {title}});
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw DbError::fromSql(db.lastError());
}

} // namespace Schema
