#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

// One instruction row as the run reads it, numbered in play order from 1.
struct Instruction
{
    int number = 0;
    QString filename;
    QString explain;
    QString storedTime;
    // Invalid when storedTime cannot be read.
    QTime time;

    // The second the scheduler plays it at: the time of day without its
    // milliseconds, and midnight for a time it cannot read.
    QTime playSecond() const
    {
        return time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0);
    }
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
};
