#include "ScheduleReader.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "data/ServerAddress.h"
#include "data/Session.h"
#include "data/Statements.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

template <typename Work> auto ScheduleReader::reading(Work work)
{
    try {
        return work();
    } catch (const DbError &error) {
        fail(error);
    }
}

ScheduleReader::ScheduleReader(const QString &path) : m_module(path, TDataModule1::Mode::ReadOnly)
{
    if (!ServerAddress::isServer(path)) {
        const QFileInfo file(path);
        if (!file.exists())
            throw DbError(path + QStringLiteral(": no such file"), DbError::Kind::Missing);
        if (file.isDir())
            throw DbError(path + QStringLiteral(" is a folder, not a database file"),
                          DbError::Kind::Missing);
    }
    const QStringList tables = reading([&] {
        QStringList names;
        m_module.use(TDataModule1::Access::Read,
                     [&](Session &session) { names = Schema::tables(session.db()); });
        return names;
    });
    for (const QString &table : {QStringLiteral("test"), QStringLiteral("sound")}) {
        if (!tables.contains(table, Qt::CaseInsensitive)) {
            throw DbError(
                QStringLiteral("%1 is not a Tessivox %2database (it has no table %3)")
                    .arg(shownPath(),
                         ServerAddress::isServer(path) ? QString() : QStringLiteral("SQLite "),
                         table),
                DbError::Kind::NotTessivox);
        }
    }
}

QString ScheduleReader::shownPath() const
{
    const QString &path = m_module.path();
    return ServerAddress::isServer(path) ? ServerAddress::shown(path) : path;
}

void ScheduleReader::fail(const DbError &error) const
{
    const QString engineText = error.text();
    const QString path = shownPath();
    const QString text = engineText.startsWith(path + QStringLiteral(": "))
                             ? engineText.mid(path.size() + 2)
                         : engineText.startsWith(m_module.path() + QStringLiteral(": "))
                             ? engineText.mid(m_module.path().size() + 2)
                             : engineText;
    // An old Access file, or anything else that is not SQLite, ends here.
    if (text.contains(QLatin1String("file is not a database")))
        throw DbError(QStringLiteral("%1 is not a Tessivox SQLite database (%2)").arg(path, text),
                      DbError::Kind::NotTessivox);
    throw DbError(path + QStringLiteral(": ") + text, error.kind());
}

QHash<QString, SoundStore::Held> ScheduleReader::soundFiles()
{
    return reading([&] {
        QHash<QString, SoundStore::Held> held;
        m_module.use(TDataModule1::Access::Read,
                     [&](Session &session) { held = SoundStore::heldIfKept(session.db()); });
        return held;
    });
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
    // Without an index on subjectname each subject's statements would scan
    // the tables whole: hours for ten thousand subjects.
    reading([&] {
        m_module.use(TDataModule1::Access::Read, [](Session &session) {
            for (const QString &statement : Dialect::indexForReadingAll(Dialect::of(session.db())))
                Query::run(session.db(), {statement, {}});
        });
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
