#include "data/Transaction.h"

#include "data/Query.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace Transaction {

void run(const QSqlDatabase &db, const QStringList &begin, const std::function<void()> &work)
{
    try {
        for (const QString &statement : begin)
            Query::run(db, {statement, {}});
        work();
        Query::run(db, {QStringLiteral("COMMIT"), {}});
    } catch (...) {
        // Failing to roll back leaves nothing more to undo; the caller
        // reports the failure that led here.
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

} // namespace Transaction
