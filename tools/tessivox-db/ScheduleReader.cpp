#include "ScheduleReader.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/Statements.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

void run(const QSqlDatabase &db, const QString &sql)
{
    Query::run(db, {sql, {}});
}

} // namespace

template <typename Work> auto ScheduleReader::reading(Work work)
{
    try {
        return work();
    } catch (const DbError &error) {
        fail(error.text());
    }
}

ScheduleReader::ScheduleReader(const QString &path) : m_module(path, TDataModule1::Mode::ReadOnly)
{
    const QFileInfo file(path);
    if (!file.exists())
        throw DbError(path + QStringLiteral(": no such file"));
    if (file.isDir())
        throw DbError(path + QStringLiteral(" is a folder, not a database file"));
    const QStringList tables = reading([&] {
        QSqlQuery query = Query::run(
            m_module.connection(),
            {QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')"), {}});
        QStringList names;
        while (query.next())
            names.append(query.value(0).toString());
        return names;
    });
    for (const QString &table : {QStringLiteral("test"), QStringLiteral("sound")}) {
        if (!tables.contains(table, Qt::CaseInsensitive)) {
            throw DbError(
                QStringLiteral("%1 is not a Tessivox SQLite database (it has no table %2)")
                    .arg(path, table));
        }
    }
}

void ScheduleReader::fail(const QString &engineText) const
{
    const QString &path = m_module.path();
    const QString prefix = path + QStringLiteral(": ");
    const QString text = engineText.startsWith(prefix) ? engineText.mid(prefix.size()) : engineText;
    // An old Access file, or anything else that is not SQLite, ends here.
    if (text.contains(QLatin1String("file is not a database")))
        throw DbError(QStringLiteral("%1 is not a Tessivox SQLite database (%2)").arg(path, text));
    throw DbError(prefix + text);
}

QStringList ScheduleReader::subjectNames()
{
    return reading([&] {
        QStringList names;
        QSet<QString> seen;
        for (const Statement &statement :
             {Statements::selectSubjectNames(), Statements::selectSoundSubjectNames()}) {
            Query &query = m_module.ADOQuery9;
            query.replace(statement);
            query.open();
            for (; !query.eof(); query.next()) {
                const QString name = query.text(QStringLiteral("subjectname"));
                if (!seen.contains(name)) {
                    seen.insert(name);
                    names.append(name);
                }
            }
        }
        return names;
    });
}

void ScheduleReader::prepareForEverySubject()
{
    // The file's tables have no index on subjectname, so each subject's
    // statements scan them whole: hours for ten thousand subjects. Copies in
    // the connection's private temporary schema, in memory, carry an index;
    // for a table name without a schema SQLite looks there first, so the very
    // same statements answer from the copies, row for row and in the same
    // order (copied in rowid order). Nothing reaches the file.
    reading([&] {
        const QSqlDatabase db = m_module.connection();
        run(db, QStringLiteral("PRAGMA temp_store = MEMORY"));
        for (const QString &table : {QStringLiteral("test"), QStringLiteral("sound")}) {
            run(db, QStringLiteral("CREATE TEMP TABLE %1 AS SELECT * FROM main.%1 ORDER BY rowid")
                        .arg(table));
            run(db,
                QStringLiteral("CREATE INDEX temp.%1_subjectname ON %1 (subjectname)").arg(table));
        }
    });
}

Subject ScheduleReader::subject(const QString &name)
{
    return reading([&] {
        Subject subject;
        subject.name = name;
        // The run window's statements: its test row, then its queue. Each on
        // a query object of its own, so that both stay prepared from one
        // subject to the next.
        Query &test = m_module.ADOQuery9;
        test.replace(Statements::selectSubject(name));
        test.open();
        subject.hasTestRow = test.recordCount() > 0;
        if (subject.hasTestRow) {
            subject.startText = test.text(QStringLiteral("starttime"));
            subject.endText = test.text(QStringLiteral("endtime"));
            subject.start = test.dateTime(QStringLiteral("starttime"));
            subject.end = test.dateTime(QStringLiteral("endtime"));
        }
        Query &query = m_module.ADOQuery10;
        query.replace(Statements::selectSoundsByPlaytime(name));
        query.open();
        for (; !query.eof(); query.next()) {
            Instruction instruction;
            instruction.number = int(subject.instructions.size()) + 1;
            instruction.filename = query.text(QStringLiteral("filename"));
            instruction.explain = query.text(QStringLiteral("explain"));
            instruction.storedTime = query.text(QStringLiteral("playtime"));
            instruction.time = query.time(QStringLiteral("playtime"));
            subject.instructions.append(instruction);
        }
        query.first();
        return subject;
    });
}
