#include "ScheduleCheck.h"

#include "Format.h"
#include "SoundProbe.h"

#include <algorithm>

namespace {

using Severity = Finding::Severity;

class Checker
{
public:
    Checker(const Subject &subject, SoundProbe &sounds) : m_sounds(sounds)
    {
        m_result.subject = subject;
    }

    void add(Severity severity, int instruction, const QString &text)
    {
        m_result.findings.append({severity, instruction, text});
    }

    void checkSubject(const QDate &today)
    {
        const Subject &subject = m_result.subject;
        if (!subject.hasTestRow && subject.instructions.isEmpty()) {
            // A test row with a NULL name: listed as an empty line, found by
            // no statement.
            add(Severity::Error, 0,
                QStringLiteral("a test row without a name: the run finds neither its times nor "
                               "its instructions"));
            return;
        }
        if (!subject.hasTestRow) {
            add(Severity::Error, 0,
                QStringLiteral("instructions without a test row: the main window does not offer "
                               "this subject"));
            return;
        }
        if (!subject.start.isValid())
            add(Severity::Error, 0,
                QStringLiteral("the start \"%1\" cannot be read").arg(subject.startText));
        if (!subject.end.isValid())
            add(Severity::Error, 0,
                QStringLiteral("the end \"%1\" cannot be read").arg(subject.endText));
        if (subject.start.isValid() && subject.start.date() < today)
            add(Severity::Warning, 0,
                QStringLiteral("the exam's date %1 is in the past")
                    .arg(subject.start.date().toString(Qt::ISODate)));
        if (subject.instructions.isEmpty())
            add(Severity::Warning, 0,
                QStringLiteral("no instructions: the run shows \"没有要播放的文件\""));
    }

    void checkInstructions()
    {
        const Instruction *previous = nullptr;
        for (const Instruction &instruction : std::as_const(m_result.subject.instructions)) {
            CheckedInstruction checked{instruction, std::nullopt, true, std::nullopt};
            checkFile(checked);
            if (!instruction.time.isValid()) {
                checked.plays = false;
                add(Severity::Error, instruction.number,
                    QStringLiteral("the time \"%1\" cannot be read: the run takes it for 00:00:00 "
                                   "and passes it over")
                        .arg(instruction.storedTime));
            } else if (previous && previous->playSecond() == instruction.playSecond()) {
                checked.plays = false;
                add(Severity::Warning, instruction.number,
                    QStringLiteral("has the same second as #%1 (%2): the run plays only #%1")
                        .arg(previous->number)
                        .arg(Format::second(instruction.playSecond())));
            } else {
                checkWithinExam(instruction);
            }
            m_result.instructions.append(checked);
            if (checked.plays)
                previous = &instruction;
        }
    }

    void checkFile(CheckedInstruction &checked)
    {
        const Instruction &instruction = checked.instruction;
        if (instruction.filename.contains(QLatin1Char('/')) ||
            instruction.filename.contains(QLatin1Char('\\')))
            add(Severity::Warning, instruction.number,
                QStringLiteral("the file name carries a folder: the run looks for %1")
                    .arg(m_sounds.pathOf(instruction.filename)));
        const SoundProbe::Sound &sound = m_sounds.sound(instruction.filename);
        if (!sound.whereHeld.isEmpty())
            add(Severity::Info, instruction.number, sound.whereHeld);
        if (!sound.problem.isEmpty()) {
            add(Severity::Error, instruction.number, sound.problem);
            return;
        }
        if (!sound.decoded)
            return;
        checked.lengthMs = sound.lengthMs;
        if (sound.lengthMs == 0)
            add(Severity::Error, instruction.number,
                QStringLiteral("the sound has length 0: nothing is heard"));
    }

    void checkWithinExam(const Instruction &instruction)
    {
        const Subject &subject = m_result.subject;
        if (!subject.start.isValid() || !subject.end.isValid())
            return;
        // A time before the start falls on the next day when the exam goes
        // on past midnight and is still running then; one between that day's
        // end and the start belongs to the nearer of the two. Compared as
        // date and time, as a local date-time costs a look at the time zone
        // each.
        const QTime second = instruction.playSecond();
        const QTime start = subject.start.time();
        const QTime end = subject.end.time();
        const QDate first = subject.start.date();
        const QDate last = subject.end.date();
        const bool acrossMidnight = first < last;
        const auto afterEnd = [&] {
            add(Severity::Warning, instruction.number,
                QStringLiteral("plays after the exam ends (%1)").arg(Format::second(end)));
        };
        if (second >= start) {
            if (first > last || (first == last && second > end))
                afterEnd();
        } else if (acrossMidnight && (first.addDays(1) < last || second <= end)) {
            add(Severity::Warning, instruction.number,
                QStringLiteral("plays after midnight, on %1: the run compares times of day "
                               "only, so a run started before midnight passes it over as "
                               "missed; it plays only in a run started after midnight")
                    .arg(first.addDays(1).toString(Qt::ISODate)));
        } else if (acrossMidnight && end.secsTo(second) < second.secsTo(start)) {
            afterEnd();
        } else {
            add(Severity::Warning, instruction.number,
                QStringLiteral("plays before the exam starts (%1)").arg(Format::second(start)));
        }
    }

    // Consecutive instructions that play: the later one closes the device,
    // so a sound still playing then is cut off.
    void checkOverlaps()
    {
        CheckedInstruction *previous = nullptr;
        qint64 heardMs = 0;
        for (CheckedInstruction &next : m_result.instructions) {
            if (!next.plays)
                continue;
            if (previous && previous->lengthMs) {
                const qint64 startsAfter =
                    previous->instruction.playSecond().msecsTo(next.instruction.playSecond());
                previous->gapAfterMs = startsAfter - *previous->lengthMs;
                heardMs += std::min(startsAfter, *previous->lengthMs);
                if (*previous->gapAfterMs < 0)
                    add(Severity::Warning, previous->instruction.number,
                        QStringLiteral("still plays when #%1 starts at %2: the last %3 of its %4 "
                                       "are cut off")
                            .arg(next.instruction.number)
                            .arg(Format::second(next.instruction.playSecond()),
                                 Format::duration(-*previous->gapAfterMs),
                                 Format::duration(*previous->lengthMs)));
            }
            previous = &next;
        }
        if (previous && previous->lengthMs)
            heardMs += *previous->lengthMs;
        summarise(heardMs);
    }

    void summarise(qint64 heardMs)
    {
        if (m_result.instructions.isEmpty())
            return;
        add(Severity::Info, 0,
            QStringLiteral("total playing time %1 (as heard, without cut-off parts)")
                .arg(Format::duration(heardMs)));
        const CheckedInstruction *shortest = nullptr;
        const CheckedInstruction *longest = nullptr;
        for (const CheckedInstruction &checked : m_result.instructions) {
            if (!checked.gapAfterMs || *checked.gapAfterMs < 0)
                continue;
            if (!shortest || *checked.gapAfterMs < *shortest->gapAfterMs)
                shortest = &checked;
            if (!longest || *checked.gapAfterMs > *longest->gapAfterMs)
                longest = &checked;
        }
        if (shortest)
            add(Severity::Info, 0,
                QStringLiteral("gaps between instructions: shortest %1 after #%2, longest %3 "
                               "after #%4")
                    .arg(Format::duration(*shortest->gapAfterMs))
                    .arg(shortest->instruction.number)
                    .arg(Format::duration(*longest->gapAfterMs))
                    .arg(longest->instruction.number));
    }

    // The subject's own findings first, then each instruction's in play order,
    // then the summary.
    SubjectCheck take()
    {
        const auto rank = [](const Finding &f) {
            return std::pair(f.severity == Severity::Info ? 1 : 0, f.instruction);
        };
        std::stable_sort(m_result.findings.begin(), m_result.findings.end(),
                         [&](const Finding &a, const Finding &b) { return rank(a) < rank(b); });
        return std::move(m_result);
    }

private:
    SoundProbe &m_sounds;
    SubjectCheck m_result;
};

} // namespace

int SubjectCheck::count(Finding::Severity severity) const
{
    return int(std::count_if(findings.cbegin(), findings.cend(),
                             [severity](const Finding &f) { return f.severity == severity; }));
}

namespace ScheduleCheck {

SubjectCheck check(const Subject &subject, SoundProbe &sounds, const QDate &today)
{
    Checker checker(subject, sounds);
    checker.checkSubject(today);
    checker.checkInstructions();
    checker.checkOverlaps();
    return checker.take();
}

QString severityName(Finding::Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return QStringLiteral("error");
    case Severity::Warning:
        return QStringLiteral("warning");
    case Severity::Info:
        break;
    }
    return QStringLiteral("info");
}

} // namespace ScheduleCheck
