#include "data/Schema.h"

#include "data/Query.h"
#include "data/Transaction.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace Schema {

void createSchema(QSqlDatabase &db, const QString &title)
{
    Transaction::run(db, [&] {
        Query::run(
            db, {QStringLiteral("CREATE TABLE var (id INTEGER PRIMARY KEY, systitle TEXT)"), {}});
        Query::run(db, {QStringLiteral("CREATE TABLE test (subjectname TEXT, starttime TEXT, "
                                       "endtime TEXT)"),
                        {}});
        Query::run(db, {QStringLiteral("CREATE TABLE sound (subjectname TEXT, filename TEXT, "
                                       "explain TEXT, playtime TEXT)"),
                        {}});
        Query::run(db, {QStringLiteral("INSERT INTO var (id, systitle) VALUES (1, ?)"), {title}});
    });
}

} // namespace Schema
