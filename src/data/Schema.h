#pragma once

#include <QString>

class QSqlDatabase;

namespace Schema {

// Creates the tables var, test and sound in an empty database and the title
// row (id 1) in var, all or nothing. Throws DbError.
void createSchema(QSqlDatabase &db, const QString &title);

} // namespace Schema
