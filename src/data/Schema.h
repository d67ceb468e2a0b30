#pragma once

#include <QStringList>

class QSqlDatabase;

namespace Schema {

// The tables and views a statement reaches. Throws DbError.
QStringList tables(const QSqlDatabase &db);

} // namespace Schema
