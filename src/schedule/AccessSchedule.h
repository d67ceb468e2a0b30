#pragma once

#include "data/AccessFile.h"
#include "schedule/Schedule.h"

// An Access schedule (tables var, test and sound) as Tessivox's schedule,
// with every row that could not be taken and why.
namespace AccessSchedule {

// A row left out: its table, its place there (1 = the first row the file
// holds), the subject it names and the reason, for the user.
struct LeftOut
{
    QString table;
    int row = 0;
    QString subject;
    QString reason;
    friend bool operator==(const LeftOut &, const LeftOut &) = default;
};

struct Mapped
{
    Schedule schedule;
    QList<LeftOut> leftOut;
    // var holds no row with id 1: the target keeps its own title.
    bool noTitle = false;
};

// Maps rows as AccessFile gives them, their columns in this order: var (id,
// systitle), test (subjectname, starttime, endtime), sound (subjectname,
// filename, explain, playtime). Subjects keep the order of their test rows, instructions go in
// time-of-day order.
Mapped map(const QList<AccessFile::Row> &var, const QList<AccessFile::Row> &test,
           const QList<AccessFile::Row> &sound);
// Reads the three tables of the file and maps them. Throws AccessError.
Mapped read(const QString &path);

} // namespace AccessSchedule
