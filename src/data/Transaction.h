#pragma once

#include <QStringList>
#include <functional>

class QSqlDatabase;

namespace Transaction {

// Runs work in one transaction on db, opened with the statements begin:
// commits when it returns, rolls back and rethrows when it throws, so no
// half-done change stays. A transaction that takes the right to write up
// front makes a concurrent writer wait (the connection's lock wait) instead
// of failing half-way through the work. Throws DbError.
void run(const QSqlDatabase &db, const QStringList &begin, const std::function<void()> &work);

} // namespace Transaction
