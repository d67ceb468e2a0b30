#include "schedule/ScheduleSql.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "schedule/ScheduleNotice.h"
#include "data/Session.h"
#include "data/StoredTime.h"
#include "schedule/Statements.h"

#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

// Runs statement on its prepared query, kept on the session: reading or
// storing thousands of subjects prepares each text once.
QSqlQuery &run(Session &session, const Statement &statement)
{
    QSqlQuery &query = session.prepared(statement.sql);
    for (int i = 0; i < statement.values.size(); ++i)
        query.bindValue(i, statement.values[i]);
    if (!query.exec()) {
        const QSqlError error = query.lastError();
        query.finish();
        throw Dialect::error(Dialect::of(session.db()), error);
    }
    return query;
}

QList<QSqlRecord> rows(Session &session, const Statement &statement)
{
    QSqlQuery &query = run(session, statement);
    QList<QSqlRecord> all;
    while (query.next())
        all.append(query.record());
    const QSqlError error = query.lastError();
    // A kept statement left unfinished would hold the file's read lock.
    query.finish();
    if (error.isValid())
        throw Dialect::error(Dialect::of(session.db()), error);
    return all;
}

int changed(Session &session, const Statement &statement)
{
    QSqlQuery &query = run(session, statement);
    const int count = query.numRowsAffected();
    query.finish();
    return count;
}

QString text(const QSqlRecord &record, const char *column)
{
    return record.value(QLatin1String(column)).toString();
}

// The play time as it was read for an instruction never changed, else in
// the stored form.
QString stored(const Instruction &instruction)
{
    return instruction.storedTime.isEmpty() && instruction.time.isValid()
               ? StoredTime::fromTime(instruction.time)
               : instruction.storedTime;
}

bool held(Session &session, const QString &name)
{
    return !rows(session, Statements::selectSubject(name)).isEmpty() ||
           !rows(session, Statements::selectSounds(name)).isEmpty();
}

} // namespace

namespace ScheduleSql {

QString title(Session &session)
{
    const QList<QSqlRecord> all = rows(session, Statements::selectTitle());
    return all.isEmpty() ? QString() : text(all.first(), "systitle");
}

QStringList subjectNames(Session &session)
{
    QStringList names;
    for (const QSqlRecord &record : rows(session, Statements::selectSubjectNames()))
        names << text(record, "subjectname");
    return names;
}

QStringList everySubjectName(Session &session)
{
    QStringList names;
    QSet<QString> seen;
    for (const Statement &statement :
         {Statements::selectSubjectNames(), Statements::selectSoundSubjectNames()})
        for (const QSqlRecord &record : rows(session, statement))
            if (const QString name = text(record, "subjectname"); !seen.contains(name)) {
                seen.insert(name);
                names << name;
            }
    return names;
}

Subject subject(Session &session, const QString &name)
{
    Subject subject;
    subject.name = name;
    if (const QList<QSqlRecord> test = rows(session, Statements::selectSubject(name));
        !test.isEmpty()) {
        subject.hasTestRow = true;
        subject.startText = text(test.first(), "starttime");
        subject.endText = text(test.first(), "endtime");
        subject.start = StoredTime::toDateTime(subject.startText);
        subject.end = StoredTime::toDateTime(subject.endText);
    }
    subject.instructions = instructions(session, name);
    return subject;
}

QList<Instruction> instructions(Session &session, const QString &subject)
{
    QList<Instruction> all;
    for (const QSqlRecord &record : rows(session, Statements::selectSoundsByPlaytime(subject))) {
        Instruction instruction;
        instruction.id = record.value(QStringLiteral("rowid")).toLongLong();
        instruction.number = int(all.size()) + 1;
        instruction.filename = text(record, "filename");
        instruction.explain = text(record, "explain");
        instruction.storedTime = text(record, "playtime");
        instruction.time = StoredTime::toTime(instruction.storedTime);
        all.append(instruction);
    }
    return all;
}

QStringList subjectsPlaying(Session &session, const QString &file, const QString &except)
{
    QStringList names;
    for (const QSqlRecord &record : rows(session, Statements::selectSubjectsPlaying(file, except)))
        names << text(record, "subjectname");
    return names;
}

QStringList existing(Session &session, const Schedule &schedule)
{
    QStringList names;
    for (const Subject &subject : schedule.subjects)
        if (!names.contains(subject.name) && held(session, subject.name))
            names << subject.name;
    return names;
}

void store(Session &session, const Schedule &schedule, bool replaceExisting)
{
    if (const QStringList held = existing(session, schedule); !held.isEmpty() && !replaceExisting)
        throw DbError(QStringLiteral("the database holds these subjects already: %1")
                          .arg(held.join(QStringLiteral(", "))),
                      DbError::Kind::Conflict);
    if (!schedule.title.isEmpty() && changed(session, Statements::updateTitle(schedule.title)) == 0)
        changed(session, Statements::insertTitle(schedule.title));
    for (const Subject &subject : schedule.subjects) {
        changed(session, Statements::deleteSubject(subject.name));
        changed(session, Statements::deleteSounds(subject.name));
        if (subject.hasTestRow)
            changed(session, Statements::insertSubject(subject.name,
                                                       subject.startText.isEmpty()
                                                           ? StoredTime::fromDateTime(subject.start)
                                                           : subject.startText,
                                                       subject.endText.isEmpty()
                                                           ? StoredTime::fromDateTime(subject.end)
                                                           : subject.endText));
        for (const Instruction &instruction : subject.instructions)
            changed(session, Statements::insertSound(subject.name, instruction.filename,
                                                     instruction.explain, stored(instruction)));
    }
}

int setTitle(Session &session, const QString &title)
{
    return changed(session, Statements::updateTitle(title));
}

int addSubject(Session &session, const QString &name, const QDateTime &start, const QDateTime &end)
{
    return changed(session, Statements::insertSubject(name, start, end));
}

int setTimes(Session &session, const QString &name, const QDateTime &start, const QDateTime &end)
{
    return changed(session, Statements::updateSubjectTimes(name, start, end));
}

void deleteSubject(Session &session, const QString &name)
{
    changed(session, Statements::deleteSubject(name));
    changed(session, Statements::deleteSounds(name));
}

void replaceInstructions(Session &session, const QString &subject,
                         const QList<Instruction> &instructions)
{
    changed(session, Statements::deleteSounds(subject));
    for (const Instruction &instruction : instructions)
        if (instruction.id >= 0)
            changed(session, Statements::insertSound(instruction.id, subject, instruction.filename,
                                                     instruction.explain, stored(instruction)));
    for (const Instruction &instruction : instructions)
        if (instruction.id < 0)
            changed(session, Statements::insertSound(subject, instruction.filename,
                                                     instruction.explain, stored(instruction)));
}

std::optional<qint64> changeCount(Session &session, bool counted)
{
    // has_table_privilege needs no right on the table and takes a missing one.
    if (!counted &&
        rows(session, {QStringLiteral("SELECT 1 WHERE has_table_privilege(to_regclass('%1'), "
                                      "'SELECT')")
                           .arg(ScheduleNotice::Count),
                       {}})
            .isEmpty())
        return std::nullopt;
    const QList<QSqlRecord> count =
        rows(session, {QStringLiteral("SELECT changes FROM %1").arg(ScheduleNotice::Count), {}});
    return count.isEmpty() ? std::nullopt : std::optional(count.first().value(0).toLongLong());
}

} // namespace ScheduleSql
