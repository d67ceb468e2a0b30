#include "RehearsalReport.h"

#include "Format.h"
#include "TextTable.h"

#include <QJsonArray>
#include <QTextStream>
#include <utility>

namespace {

using Kind = TimelineEvent::Kind;

QString oneLine(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral(" ↵ "))
        .replace(QLatin1Char('\n'), QStringLiteral(" ↵ "));
}

QString kindName(RehearsalReport::Outcome::Kind kind)
{
    using Outcome = RehearsalReport::Outcome;
    switch (kind) {
    case Outcome::Kind::Played:
        return QStringLiteral("played");
    case Outcome::Kind::CutOff:
        return QStringLiteral("cutOff");
    case Outcome::Kind::Failed:
        return QStringLiteral("failed");
    case Outcome::Kind::Missed:
        break;
    }
    return QStringLiteral("missed");
}

QString eventName(Kind kind, bool ended)
{
    switch (kind) {
    case Kind::Play:
        return ended ? QStringLiteral("end") : QStringLiteral("play");
    case Kind::CutOff:
        return QStringLiteral("cutOff");
    case Kind::Failed:
        // The silent device can fail only to open a file.
        return QStringLiteral("openFailed");
    case Kind::Missed:
        return QStringLiteral("missed");
    case Kind::PlayTime:
        return QStringLiteral("playTime");
    case Kind::Memo:
        return QStringLiteral("memo");
    case Kind::Message:
        break;
    }
    return QStringLiteral("message");
}

bool isOutcome(Kind kind)
{
    return kind == Kind::Play || kind == Kind::Failed || kind == Kind::Missed;
}

QJsonValue orNull(bool present, const QJsonValue &value)
{
    return present ? value : QJsonValue();
}

} // namespace

RehearsalReport::RehearsalReport(Subject subject, const Timeline &timeline,
                                 const std::function<QString(const QString &)> &soundPath,
                                 QDateTime from)
    : m_subject(std::move(subject)), m_soundPath(soundPath), m_from(std::move(from)),
      m_outcomes(m_subject.instructions.size())
{
    resolve(timeline);
    for (qsizetype i = 0; i < m_outcomes.size(); ++i) {
        if (m_outcomes[i].kind == Outcome::Kind::Missed)
            m_outcomes[i].reason = missedReason(m_subject.instructions[i]);
    }
    addEnds();
}

// The scheduler reports each instruction once, in play order: an outcome
// belongs to the first instruction after the one reported before it with its
// second and file.
int RehearsalReport::instructionOf(const TimelineEvent &event, int after) const
{
    for (int i = after + 1; i < m_subject.instructions.size(); ++i) {
        const Instruction &instruction = m_subject.instructions[i];
        if (instruction.playSecond() == event.second &&
            m_soundPath(instruction.filename) == event.file)
            return i;
    }
    return -1;
}

void RehearsalReport::resolve(const Timeline &timeline)
{
    int reported = -1;
    int playing = -1;
    int cutOff = -1;
    for (const TimelineEvent &event : timeline) {
        int instruction = -1;
        if (event.kind == Kind::CutOff) {
            instruction = std::exchange(playing, -1);
            if (instruction >= 0) {
                m_outcomes[instruction].kind = Outcome::Kind::CutOff;
                m_outcomes[instruction].heardMs = event.ms;
                cutOff = instruction;
            }
        } else if (isOutcome(event.kind)) {
            instruction = instructionOf(event, reported);
        }
        if (instruction >= 0 && event.kind != Kind::CutOff) {
            reported = instruction;
            if (event.kind == Kind::Play) {
                m_outcomes[instruction] = {
                    Outcome::Kind::Played, event.at, event.ms, event.ms, 0, {}};
                playing = instruction;
            } else if (event.kind == Kind::Failed) {
                m_outcomes[instruction] = {Outcome::Kind::Failed, event.at, 0, 0, 0, event.text};
            }
            // What silenced a sound is the attempt to play that follows it.
            if (event.kind != Kind::Missed && cutOff >= 0)
                m_outcomes[std::exchange(cutOff, -1)].cutOffBy = instruction + 1;
        }
        m_lines.append({event, instruction + 1, false});
    }
}

void RehearsalReport::addEnds()
{
    QList<Line> ends;
    for (int i = 0; i < m_outcomes.size(); ++i) {
        const Outcome &outcome = m_outcomes[i];
        if (outcome.kind == Outcome::Kind::Played && outcome.lengthMs > 0) {
            ends.append({{outcome.at.addMSecs(outcome.lengthMs),
                          Kind::Play,
                          m_soundPath(m_subject.instructions[i].filename),
                          {},
                          outcome.lengthMs,
                          m_subject.instructions[i].playSecond()},
                         i + 1,
                         true});
        }
    }
    std::stable_sort(ends.begin(), ends.end(),
                     [](const Line &a, const Line &b) { return a.event.at < b.event.at; });
    // A sound that ends on the millisecond another starts ended first.
    QList<Line> merged;
    qsizetype next = 0;
    for (const Line &line : std::as_const(m_lines)) {
        while (next < ends.size() && ends[next].event.at <= line.event.at)
            merged.append(ends[next++]);
        merged.append(line);
    }
    merged.append(ends.mid(next));
    m_lines = merged;
}

QString RehearsalReport::missedReason(const Instruction &instruction) const
{
    if (!instruction.time.isValid())
        return QStringLiteral("its time \"%1\" cannot be read; the run takes it for 00:00:00")
            .arg(instruction.storedTime);
    if (m_from.time() > instruction.playSecond())
        return QStringLiteral("its second had begun when the run started");
    for (const Instruction &earlier : m_subject.instructions) {
        if (earlier.number == instruction.number)
            break;
        if (earlier.time.isValid() && earlier.playSecond() == instruction.playSecond())
            return QStringLiteral("it has the same second as #%1, which the run reaches first")
                .arg(earlier.number);
    }
    return QStringLiteral("its second had begun when the scheduler reached it");
}

bool RehearsalReport::everyInstructionAheadPlays() const
{
    for (int i = 0; i < m_outcomes.size(); ++i) {
        const Instruction &instruction = m_subject.instructions[i];
        const bool ahead = instruction.time.isValid() && m_from.time() <= instruction.playSecond();
        const Outcome::Kind kind = m_outcomes[i].kind;
        if (ahead && kind != Outcome::Kind::Played && kind != Outcome::Kind::CutOff)
            return false;
    }
    return true;
}

QString RehearsalReport::describe(const Line &line) const
{
    const TimelineEvent &event = line.event;
    const QString who = line.instruction > 0
                            ? QStringLiteral("#%1 %2")
                                  .arg(line.instruction)
                                  .arg(m_subject.instructions[line.instruction - 1].filename)
                            : event.file;
    switch (event.kind) {
    case Kind::Play:
        return line.ended ? QStringLiteral("%1 has played to its end").arg(who)
                          : QStringLiteral("%1 starts (%2)").arg(who, Format::duration(event.ms));
    case Kind::CutOff: {
        const int by = line.instruction > 0 ? m_outcomes[line.instruction - 1].cutOffBy : 0;
        return QStringLiteral("%1 is cut off after %2%3")
            .arg(who, Format::duration(event.ms),
                 by > 0 ? QStringLiteral(" by #%1").arg(by) : QString());
    }
    case Kind::Failed:
        return QStringLiteral("%1 cannot be opened: %2").arg(who, event.text);
    case Kind::Missed:
        return QStringLiteral("%1 is missed").arg(who);
    case Kind::PlayTime:
        return QStringLiteral("play time  ") + event.text;
    case Kind::Memo:
        return QStringLiteral("memo       ") + oneLine(event.text);
    case Kind::Message:
        break;
    }
    return QStringLiteral("message    ") + event.text;
}

QString RehearsalReport::describe(const Outcome &outcome) const
{
    switch (outcome.kind) {
    case Outcome::Kind::Played:
        return QStringLiteral("plays at %1 to its end (%2)")
            .arg(Format::moment(outcome.at), Format::duration(outcome.lengthMs));
    case Outcome::Kind::CutOff:
        return QStringLiteral("plays at %1, cut off by #%2 after %3 of %4")
            .arg(Format::moment(outcome.at))
            .arg(outcome.cutOffBy)
            .arg(Format::duration(outcome.heardMs), Format::duration(outcome.lengthMs));
    case Outcome::Kind::Failed:
        return QStringLiteral("fails to open at %1: %2")
            .arg(Format::moment(outcome.at), outcome.reason);
    case Outcome::Kind::Missed:
        break;
    }
    return QStringLiteral("missed: ") + outcome.reason;
}

void RehearsalReport::print(QTextStream &out, const QString &soundFolder) const
{
    out << "Rehearsal of " << m_subject.name << " on " << m_from.date().toString(Qt::ISODate)
        << " from " << Format::moment(m_from) << ", sound files from " << soundFolder
        << "\n(a message box counts as closed at once)\n\n";
    for (const Line &line : m_lines)
        out << "  " << Format::moment(line.event.at) << "  " << describe(line) << '\n';
    out << '\n';
    TextTable table({QStringLiteral("#"), QStringLiteral("time"), QStringLiteral("file"),
                     QStringLiteral("outcome")});
    for (int i = 0; i < m_outcomes.size(); ++i) {
        const Instruction &instruction = m_subject.instructions[i];
        table.addRow({QString::number(instruction.number),
                      instruction.time.isValid() ? Format::second(instruction.playSecond())
                                                 : instruction.storedTime,
                      instruction.filename, describe(m_outcomes[i])});
    }
    table.print(out, QStringLiteral("  "));
    out << '\n'
        << (everyInstructionAheadPlays() ? "Every instruction ahead plays.\n"
                                         : "An instruction ahead would not play.\n");
}

QJsonObject RehearsalReport::toJson(const QString &soundFolder) const
{
    QJsonArray timeline;
    for (const Line &line : m_lines) {
        const TimelineEvent &event = line.event;
        const bool sound = event.kind == Kind::CutOff || isOutcome(event.kind);
        QJsonObject entry{{QStringLiteral("time"), Format::moment(event.at)},
                          {QStringLiteral("event"), eventName(event.kind, line.ended)}};
        if (sound) {
            entry.insert(QStringLiteral("instruction"),
                         orNull(line.instruction > 0, line.instruction));
            entry.insert(QStringLiteral("path"), event.file);
        }
        if (event.kind == Kind::Play && !line.ended)
            entry.insert(QStringLiteral("lengthMs"), event.ms);
        if (event.kind == Kind::CutOff) {
            entry.insert(QStringLiteral("afterMs"), event.ms);
            const int by = line.instruction > 0 ? m_outcomes[line.instruction - 1].cutOffBy : 0;
            entry.insert(QStringLiteral("by"), orNull(by > 0, by));
        }
        if (event.kind == Kind::Failed)
            entry.insert(QStringLiteral("reason"), event.text);
        if (!sound)
            entry.insert(QStringLiteral("text"), event.text);
        timeline.append(entry);
    }
    QJsonArray instructions;
    for (int i = 0; i < m_outcomes.size(); ++i) {
        const Instruction &instruction = m_subject.instructions[i];
        const Outcome &outcome = m_outcomes[i];
        const bool started =
            outcome.kind == Outcome::Kind::Played || outcome.kind == Outcome::Kind::CutOff;
        instructions.append(QJsonObject{
            {QStringLiteral("number"), instruction.number},
            {QStringLiteral("storedTime"), instruction.storedTime},
            {QStringLiteral("file"), instruction.filename},
            {QStringLiteral("outcome"), kindName(outcome.kind)},
            {QStringLiteral("at"),
             orNull(outcome.at.isValid(), outcome.at.isValid() ? Format::moment(outcome.at) : "")},
            {QStringLiteral("lengthMs"), orNull(started, outcome.lengthMs)},
            {QStringLiteral("heardMs"), orNull(started, outcome.heardMs)},
            {QStringLiteral("cutOffBy"), orNull(outcome.cutOffBy > 0, outcome.cutOffBy)},
            {QStringLiteral("reason"), orNull(!outcome.reason.isEmpty(), outcome.reason)},
        });
    }
    return {{QStringLiteral("subject"), m_subject.name},
            {QStringLiteral("date"), m_from.date().toString(Qt::ISODate)},
            {QStringLiteral("from"), Format::moment(m_from)},
            {QStringLiteral("soundDir"), soundFolder},
            {QStringLiteral("timeline"), timeline},
            {QStringLiteral("instructions"), instructions},
            {QStringLiteral("everyInstructionAheadPlays"), everyInstructionAheadPlays()}};
}
