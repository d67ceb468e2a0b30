#pragma once

#include "schedule/Schedule.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

class SoundProbe;

struct Finding
{
    enum class Severity
    {
        Error,
        Warning,
        Info
    };

    Severity severity;
    // 0 when it concerns the subject as a whole.
    int instruction = 0;
    QString text;
};

struct CheckedInstruction
{
    Instruction instruction;
    // Unknown when the file cannot be played.
    std::optional<qint64> lengthMs;
    // False when the run passes it over: another one has its second, or its
    // time cannot be read.
    bool plays = true;
    // From the end of its sound to the start of the next instruction that
    // plays; negative when that one cuts it off.
    std::optional<qint64> gapAfterMs;
};

// What the run will make of one subject, found without running it.
struct SubjectCheck
{
    Subject subject;
    QList<CheckedInstruction> instructions;
    QList<Finding> findings;

    int count(Finding::Severity severity) const;
};

namespace ScheduleCheck {

// today decides whether the exam's date has passed.
SubjectCheck check(const Subject &subject, SoundProbe &sounds, const QDate &today);

QString severityName(Finding::Severity severity);

} // namespace ScheduleCheck
