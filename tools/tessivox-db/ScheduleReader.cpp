#include "ScheduleReader.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Schema.h"
#include "data/ServerAddress.h"
#include "data/Session.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/ScheduleSql.h"
#include "schedule/ScheduleTables.h"

#include <QFileInfo>
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
    return reading([&] { return DataScheduleRepository(m_module).recordings(); });
}

QStringList ScheduleReader::subjectNames()
{
    return reading([&] {
        QStringList names;
        m_module.use(TDataModule1::Access::Read,
                     [&](Session &session) { names = ScheduleSql::everySubjectName(session); });
        return names;
    });
}

void ScheduleReader::prepareForEverySubject()
{
    // Without an index on subjectname each subject's statements would scan
    // the tables whole: hours for ten thousand subjects.
    reading([&] {
        m_module.use(TDataModule1::Access::Read, [](Session &session) {
            for (const QString &statement :
                 ScheduleTables::indexForReadingAll(Dialect::of(session.db())))
                Query::run(session.db(), {statement, {}});
        });
    });
}

Subject ScheduleReader::subject(const QString &name)
{
    // The run window's statements, prepared once for every subject.
    return reading([&] { return DataScheduleRepository(m_module).subject(name); });
}
