#include "CheckCommand.h"

#include "Arguments.h"
#include "CheckReport.h"
#include "CommandInput.h"
#include "ScheduleCheck.h"
#include "ScheduleReader.h"
#include "SoundProbe.h"

#include <QJsonArray>
#include <QJsonDocument>

int CheckCommand::run(const Arguments &arguments)
{
    const QString path = arguments.positional().at(0);
    SoundProbe sounds(CommandInput::soundFolder(arguments));
    QList<SubjectCheck> checks;
    try {
        ScheduleReader reader(path);
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

    int errors = 0;
    int warnings = 0;
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
                                           {QStringLiteral("subjects"), subjects},
                                           {QStringLiteral("errors"), errors},
                                           {QStringLiteral("warnings"), warnings}})
                     .toJson();
    } else {
        m_out << "Sound files from " << sounds.folder() << "\n\n";
        for (const SubjectCheck &check : std::as_const(checks))
            CheckReport::print(m_out, check);
        m_out << checks.size() << (checks.size() == 1 ? " subject, " : " subjects, ") << errors
              << (errors == 1 ? " error, " : " errors, ") << warnings
              << (warnings == 1 ? " warning\n" : " warnings\n");
    }
    return errors > 0 ? 1 : 0;
}
