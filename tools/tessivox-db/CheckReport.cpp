#include "CheckReport.h"

#include "Format.h"
#include "ScheduleCheck.h"
#include "TextTable.h"

#include <QJsonArray>
#include <QTextStream>

namespace {

constexpr int ExplainColumns = 40;

QString lengthText(const CheckedInstruction &checked)
{
    return checked.lengthMs ? Format::duration(*checked.lengthMs) : QStringLiteral("-");
}

QString gapText(const CheckedInstruction &checked)
{
    if (!checked.plays)
        return QStringLiteral("not played");
    if (!checked.gapAfterMs)
        return QStringLiteral("-");
    if (*checked.gapAfterMs < 0)
        return QStringLiteral("cut off %1").arg(Format::duration(-*checked.gapAfterMs));
    return Format::duration(*checked.gapAfterMs);
}

QString header(const Subject &subject)
{
    if (!subject.hasTestRow)
        return subject.name + QStringLiteral("  (no test row)");
    return QStringLiteral("%1  start %2  end %3")
        .arg(subject.name, subject.startText, subject.endText);
}

// "#2 a.wav: " before what concerns one instruction.
QString about(const Subject &subject, const Finding &finding)
{
    if (finding.instruction == 0)
        return {};
    return QStringLiteral("#%1 %2: ")
        .arg(finding.instruction)
        .arg(subject.instructions.at(finding.instruction - 1).filename);
}

QJsonValue optional(const std::optional<qint64> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

namespace CheckReport {

void print(QTextStream &out, const SubjectCheck &check)
{
    out << header(check.subject) << '\n';
    if (!check.instructions.isEmpty()) {
        TextTable table({QStringLiteral("#"), QStringLiteral("time"), QStringLiteral("length"),
                         QStringLiteral("gap after"), QStringLiteral("file"),
                         QStringLiteral("explanation")});
        for (const CheckedInstruction &checked : check.instructions) {
            const Instruction &instruction = checked.instruction;
            table.addRow(
                {QString::number(instruction.number),
                 instruction.time.isValid() ? Format::second(instruction.playSecond())
                                            : instruction.storedTime,
                 lengthText(checked), gapText(checked), instruction.filename,
                 Format::elided(
                     instruction.explain.section(QLatin1Char('\n'), 0, 0).remove(QLatin1Char('\r')),
                     ExplainColumns)});
        }
        table.print(out, QStringLiteral("  "));
    }
    TextTable findings;
    for (const Finding &finding : check.findings) {
        findings.addRow({ScheduleCheck::severityName(finding.severity),
                         about(check.subject, finding) + finding.text});
    }
    findings.print(out, QStringLiteral("  "));
    out << '\n';
}

QJsonObject toJson(const SubjectCheck &check)
{
    const Subject &subject = check.subject;
    QJsonArray instructions;
    for (const CheckedInstruction &checked : check.instructions) {
        const Instruction &instruction = checked.instruction;
        instructions.append(QJsonObject{
            {QStringLiteral("number"), instruction.number},
            {QStringLiteral("storedTime"), instruction.storedTime},
            {QStringLiteral("second"), instruction.time.isValid()
                                           ? QJsonValue(Format::second(instruction.playSecond()))
                                           : QJsonValue()},
            {QStringLiteral("file"), instruction.filename},
            {QStringLiteral("explain"), instruction.explain},
            {QStringLiteral("lengthMs"), optional(checked.lengthMs)},
            {QStringLiteral("plays"), checked.plays},
            {QStringLiteral("gapAfterMs"), optional(checked.gapAfterMs)},
        });
    }
    QJsonArray findings;
    for (const Finding &finding : check.findings) {
        findings.append(QJsonObject{
            {QStringLiteral("severity"), ScheduleCheck::severityName(finding.severity)},
            {QStringLiteral("instruction"),
             finding.instruction > 0 ? QJsonValue(finding.instruction) : QJsonValue()},
            {QStringLiteral("text"), finding.text},
        });
    }
    return {
        {QStringLiteral("name"), subject.name},
        {QStringLiteral("testRow"), subject.hasTestRow},
        {QStringLiteral("start"),
         subject.hasTestRow ? QJsonValue(subject.startText) : QJsonValue()},
        {QStringLiteral("end"), subject.hasTestRow ? QJsonValue(subject.endText) : QJsonValue()},
        {QStringLiteral("instructions"), instructions},
        {QStringLiteral("findings"), findings},
    };
}

} // namespace CheckReport
