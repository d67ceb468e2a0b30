#pragma once

#include "schedule/Schedule.h"

#include <QStringList>

// The one owner of every statement on the schedule (the tables var, test and
// sound), for a database file and for a centre's server alike. Callers hand
// it values and get values back; nobody else holds SQL text on the
// schedule. Every call that may meet a server waits at most a deadline and
// then throws DbError; nothing on the play path ever calls it.
//
// The interface below is what the windows, the tools and the import rely on;
// the loads the windows make off their thread are added beside it.
class ScheduleRepository
{
public:
    virtual ~ScheduleRepository() = default;

    virtual QString title() = 0;
    // Subjects with a test row, in the order they were added.
    virtual QStringList subjectNames() = 0;
    // The subject with its instructions in play order; hasTestRow false and
    // no instructions when there is no such subject.
    virtual Subject subject(const QString &name) = 0;

    // The names among schedule's subjects that the database holds already.
    virtual QStringList existing(const Schedule &schedule) = 0;
    // Writes schedule in one transaction: its title when not empty, and
    // every subject with its test row and its instructions. A subject the
    // database holds already is replaced whole when replaceExisting, and
    // otherwise nothing at all is written (DbError naming the subjects).
    virtual void store(const Schedule &schedule, bool replaceExisting) = 0;
};
