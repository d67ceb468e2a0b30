#pragma once

#include <QStringList>
#include <functional>

class QSqlDatabase;

namespace Transaction {

// Runs work in one transaction on db: commits when it returns, rolls back and
// rethrows when it throws, so no half-done change stays. The transaction
// takes the right to write up front: a concurrent writer makes this wait
// (the connection's lock wait) instead of failing half-way through the work.
// Throws DbError.
void run(const QSqlDatabase &db, const std::function<void()> &work);
// The same, opened with the given statements.
void run(const QSqlDatabase &db, const QStringList &begin, const std::function<void()> &work);

} // namespace Transaction
