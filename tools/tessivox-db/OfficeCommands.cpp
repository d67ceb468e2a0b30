#include "OfficeCommands.h"

#include "data/Query.h"
#include "data/ServerAddress.h"
#include "office/OfficeSchema.h"
#include "office/ServerConnection.h"

#include <QSqlQuery>

namespace {

const QStringList ScheduleTables{QStringLiteral("var"), QStringLiteral("test"),
                                 QStringLiteral("sound")};

QStringList present(const QSqlDatabase &db, const QStringList &tables)
{
    QStringList found;
    for (const QString &table : tables) {
        QSqlQuery query =
            Query::run(db, {QStringLiteral("SELECT to_regclass(?) IS NOT NULL"), {table}});
        if (query.next() && query.value(0).toBool())
            found << table;
    }
    return found;
}

} // namespace

int OfficeCommands::create(const QString &uri)
{
    ServerConnection server(uri);
    const QSqlDatabase db = server.open();
    const QStringList existing = present(
        db, ScheduleTables + QStringList{QStringLiteral("room"), QStringLiteral("room_event")});
    if (!existing.isEmpty())
        return fail(QStringLiteral("%1 already has the tables %2; it was left untouched.")
                        .arg(ServerAddress::shown(uri), existing.join(QStringLiteral(", "))));
    ServerConnection::transaction(db, [&] {
        for (const char *table : {"var (id INTEGER PRIMARY KEY, systitle TEXT)",
                                  "test (subjectname TEXT, starttime TEXT, endtime TEXT)",
                                  "sound (subjectname TEXT, filename TEXT, explain TEXT, "
                                  "playtime TEXT)"})
            ServerConnection::execute(db, QStringLiteral("CREATE TABLE ") + QLatin1String(table));
        Query::run(db, {QStringLiteral("INSERT INTO var (id, systitle) VALUES (1, ?)"),
                        {QStringLiteral("Tessivox 考场语音指令系统")}});
        OfficeSchema::create(db);
    });
    m_out << "Created " << ServerAddress::shown(uri) << "\n";
    return 0;
}

int OfficeCommands::upgrade(const QString &uri)
{
    if (!ServerAddress::isServer(uri))
        return fail(QStringLiteral("%1: upgrade needs a server (postgresql://...)").arg(uri));
    ServerConnection server(uri);
    const QSqlDatabase db = server.open();
    if (present(db, ScheduleTables).size() != ScheduleTables.size())
        return fail(QStringLiteral("%1 is no exam database (tables var, test, sound); create makes "
                                   "one")
                        .arg(ServerAddress::shown(uri)));
    const QStringList added = OfficeSchema::addMissing(db);
    if (added.isEmpty())
        m_out << ServerAddress::shown(uri) << " already has the tables room and room_event\n";
    else
        m_out << "Added " << added.join(QStringLiteral(", ")) << " to " << ServerAddress::shown(uri)
              << "\n";
    return 0;
}

int OfficeCommands::grants()
{
    m_out << OfficeSchema::grants();
    return 0;
}

int OfficeCommands::fail(const QString &text)
{
    m_err << "tessivox-db: " << text << "\n";
    return 1;
}
