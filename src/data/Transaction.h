#pragma once

#include <functional>

class QSqlDatabase;

namespace Transaction {

// Runs work in one transaction on db: commits when it returns, rolls back and
// rethrows when it throws, so no half-done change stays. BEGIN IMMEDIATE takes
// the write lock up front: a concurrent writer makes this wait (busy timeout)
// instead of failing half-way through the work. Throws DbError.
void run(const QSqlDatabase &db, const std::function<void()> &work);

} // namespace Transaction
