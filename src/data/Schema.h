#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace Schema {

// The title a new database starts with.
inline const QString DefaultTitle = QStringLiteral("Tessivox 考场语音指令系统");

// Creates the tables var, test and sound in an empty database and the title
// row (id 1) in var, all or nothing; on a server also the notice of changes
// (ScheduleNotice). Throws DbError.
void createSchema(QSqlDatabase &db, const QString &title);

// The tables and views a statement reaches. Throws DbError.
QStringList tables(const QSqlDatabase &db);

} // namespace Schema
