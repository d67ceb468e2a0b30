#pragma once

#include <QJsonObject>

class QTextStream;
struct SubjectCheck;

// How a subject's check is shown: a table with its findings, or JSON.
namespace CheckReport {

void print(QTextStream &out, const SubjectCheck &check);
QJsonObject toJson(const SubjectCheck &check);

} // namespace CheckReport
