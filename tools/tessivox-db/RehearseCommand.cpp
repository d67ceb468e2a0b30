#include "RehearseCommand.h"

#include "Arguments.h"
#include "CommandInput.h"
#include "Rehearsal.h"
#include "RehearsalReport.h"
#include "ScheduleReader.h"

#include "platform/Platform.h"

#include <QJsonDocument>
#include <optional>

namespace {

const QString FromOption = QStringLiteral("from");

std::optional<QTime> timeOfDay(const QString &text)
{
    for (const QString &format : {QStringLiteral("HH:mm:ss"), QStringLiteral("HH:mm:ss.zzz")}) {
        const QTime time = QTime::fromString(text, format);
        if (time.isValid())
            return time;
    }
    return std::nullopt;
}

// Without --from the run starts when the exam does, or else a minute before
// its first instruction; on the exam's date, or else today.
QDateTime startOf(const Subject &subject, const std::optional<QTime> &from)
{
    const QDate date = subject.start.isValid() ? subject.start.date() : QDate::currentDate();
    if (from)
        return QDateTime(date, *from);
    if (subject.start.isValid())
        return subject.start;
    for (const Instruction &instruction : subject.instructions) {
        if (instruction.time.isValid()) {
            const QTime second = instruction.playSecond();
            return QDateTime(date, second.msecsSinceStartOfDay() < 60000 ? QTime(0, 0)
                                                                         : second.addSecs(-60));
        }
    }
    return QDateTime(date, QTime(0, 0));
}

} // namespace

int RehearseCommand::run(const Arguments &arguments)
{
    const QString path = arguments.positional().at(0);
    const QString name = arguments.positional().at(1);
    const QString folder = CommandInput::soundFolder(arguments);
    std::optional<QTime> from;
    if (arguments.has(FromOption)) {
        from = timeOfDay(arguments.value(FromOption));
        if (!from)
            return CommandInput::refuse(m_err, QStringLiteral("--from takes a time of day as "
                                                              "HH:MM:SS, not \"%1\"")
                                                   .arg(arguments.value(FromOption)));
    }
    const auto soundPath = [folder](const QString &file) {
        return Platform::soundPathIn(folder, file);
    };
    try {
        ScheduleReader reader(path);
        const Subject subject = reader.subject(name);
        if (!subject.hasTestRow && subject.instructions.isEmpty())
            return CommandInput::refuse(m_err,
                                        QStringLiteral("%1 has no subject \"%2\"").arg(path, name));
        const QDateTime start = startOf(subject, from);
        const Timeline timeline = Rehearsal({subject.instructions, soundPath, start}).run();
        const RehearsalReport report(subject, timeline, soundPath, start);
        if (arguments.has(QStringLiteral("json")))
            m_out << QJsonDocument(report.toJson(folder)).toJson();
        else
            report.print(m_out, folder);
        return report.everyInstructionAheadPlays() ? 0 : 1;
    } catch (const std::exception &error) {
        return CommandInput::refuse(m_err, CommandInput::reason(error));
    }
}
