#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

// The schedule as values: what the windows show, the run plays, the tools
// report and an import writes. Nothing here reaches a database; the one
// place that reads and writes these values is ScheduleRepository.

// One instruction row, in play order.
struct Instruction
{
    // The row's identity in its database (SQLite rowid, the server's row
    // id); -1 for a row not stored yet. A run follows an instruction by it.
    qint64 id = -1;
    // Numbered in play order from 1 where a list is shown or reported.
    int number = 0;
    QString filename;
    QString explain;
    // As stored; a list written back keeps it unchanged.
    QString storedTime;
    // Invalid when storedTime cannot be read.
    QTime time;

    // The second the scheduler plays it at: the time of day without its
    // milliseconds, and midnight for a time it cannot read.
    QTime playSecond() const
    {
        return time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0);
    }
    friend bool operator==(const Instruction &, const Instruction &) = default;
};

// A subject with its test row (if it has one) and its instructions in the
// order the run plays them.
struct Subject
{
    QString name;
    bool hasTestRow = false;
    // As stored, and as read back (invalid when they cannot be read).
    QString startText;
    QString endText;
    QDateTime start;
    QDateTime end;
    QList<Instruction> instructions;
    friend bool operator==(const Subject &, const Subject &) = default;
};

// A whole schedule: the system title and every subject with its
// instructions, as an import brings it or a local copy holds it.
struct Schedule
{
    QString title;
    QList<Subject> subjects;
    friend bool operator==(const Schedule &, const Schedule &) = default;
};
