#include "OfficeCommands.h"

#include "CommandInput.h"

#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "office/OfficeSchema.h"

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
    bool exams = false;
    QStringList added;
    ServerLink(uri).run(
        [&](Session &session) {
            exams = present(session.db(), ScheduleTables).size() == ScheduleTables.size();
            if (exams)
                added = OfficeSchema::addMissing(session.db());
        },
        CommandInput::ServerDeadline);
    if (!exams)
        return fail(QStringLiteral("%1 is no exam database (tables var, test, sound); create makes "
                                   "one")
                        .arg(ServerAddress::shown(uri)));
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
