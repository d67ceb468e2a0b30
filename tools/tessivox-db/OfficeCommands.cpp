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
        m_out << ServerAddress::shown(uri) << " already has the tables room, room_event, sound_file and sound_file_chunk\n";
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
