#include "CheckCommand.h"

#include "Arguments.h"
#include "CheckReport.h"
#include "CommandInput.h"
#include "ScheduleCheck.h"
#include "ScheduleReader.h"
#include "SoundProbe.h"
#include "data/ServerAddress.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonValue clockJson(const std::optional<ClockHealth::Reading> &reading)
{
    if (!reading)
        return {};
    const ClockHealth::Sync sync = reading->sync;
    return QJsonObject{
        {QStringLiteral("synchronised"), sync == ClockHealth::Sync::Unknown
                                             ? QJsonValue()
                                             : QJsonValue(sync == ClockHealth::Sync::Synchronised)},
        {QStringLiteral("text"), reading->text()}};
}

} // namespace

std::optional<ClockHealth::Reading> CheckCommand::readClock() const
{
    if (!m_clockHealth)
        return std::nullopt;
    std::optional<ClockHealth::Reading> reading;
    QEventLoop loop;
    m_clockHealth->read([&](const ClockHealth::Reading &answer) {
        reading = answer;
        loop.quit();
    });
    if (!reading)
        loop.exec();
    return reading;
}

int CheckCommand::run(const Arguments &arguments)
{
    const QString path = arguments.positional().at(0);
    SoundProbe sounds(CommandInput::soundFolder(arguments));
    QList<SubjectCheck> checks;
    try {
        ScheduleReader reader(path);
        if (ServerAddress::isServer(path))
            sounds.useServer(reader.soundFiles(), SoundCache::folderIn(reader.dataFolder()));
        QStringList names;
        const bool one = arguments.has(QStringLiteral("subject"));
        if (one) {
            names.append(arguments.value(QStringLiteral("subject")));
        } else {
            names = reader.subjectNames();
            reader.prepareForEverySubject();
        }
        const QDate today = QDate::currentDate();
        for (const QString &name : std::as_const(names)) {
            const Subject subject = reader.subject(name);
            if (one && !subject.hasTestRow && subject.instructions.isEmpty())
                return CommandInput::refuse(
                    m_err, QStringLiteral("%1 has no subject \"%2\"").arg(path, name));
            checks.append(ScheduleCheck::check(subject, sounds, today));
        }
    } catch (const std::exception &error) {
        return CommandInput::refuse(m_err, CommandInput::reason(error));
    }

    const std::optional<ClockHealth::Reading> clock = readClock();
    int errors = 0;
    // A clock that is not kept right plays every instruction as wrong as it
    // is; one whose state is unknown is no finding.
    int warnings = clock && clock->sync == ClockHealth::Sync::NotSynchronised ? 1 : 0;
    for (const SubjectCheck &check : std::as_const(checks)) {
        errors += check.count(Finding::Severity::Error);
        warnings += check.count(Finding::Severity::Warning);
    }
    if (arguments.has(QStringLiteral("json"))) {
        QJsonArray subjects;
        for (const SubjectCheck &check : std::as_const(checks))
            subjects.append(CheckReport::toJson(check));
        m_out << QJsonDocument(QJsonObject{{QStringLiteral("database"), path},
                                           {QStringLiteral("soundDir"), sounds.folder()},
                                           {QStringLiteral("clock"), clockJson(clock)},
                                           {QStringLiteral("subjects"), subjects},
                                           {QStringLiteral("errors"), errors},
                                           {QStringLiteral("warnings"), warnings}})
                     .toJson();
    } else {
        m_out << "Sound files from " << sounds.folder() << '\n';
        if (clock) {
            const bool warn = clock->sync == ClockHealth::Sync::NotSynchronised;
            m_out << (warn ? "warning  " : "") << "Computer clock: " << clock->text() << '\n';
        }
        m_out << '\n';
        for (const SubjectCheck &check : std::as_const(checks))
            CheckReport::print(m_out, check);
        m_out << checks.size() << (checks.size() == 1 ? " subject, " : " subjects, ") << errors
              << (errors == 1 ? " error, " : " errors, ") << warnings
              << (warnings == 1 ? " warning\n" : " warnings\n");
    }
    return errors > 0 ? 1 : 0;
}
