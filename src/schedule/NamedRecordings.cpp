#include "schedule/NamedRecordings.h"

#include "data/Query.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundSchema.h"
#include "schedule/Statements.h"

#include <QSqlQuery>

namespace NamedRecordings {

Named read(const QSqlDatabase &db)
{
    Named named;
    QSqlQuery query = Query::run(db, Statements::selectNamedRecordings());
    while (query.next()) {
        const QString name = query.value(0).toString();
        named.names << name;
        if (SoundStore::isSha256(query.value(1).toString()))
            named.held.insert(name, {name, query.value(1).toString(), query.value(2).toLongLong()});
    }
    return named;
}

std::optional<Named> readIfKept(ServerLink &link, std::chrono::milliseconds deadline)
{
    std::optional<Named> kept;
    link.run(
        [&](Session &session) {
            if (SoundSchema::present(session.db()))
                kept = read(session.db());
        },
        deadline);
    return kept;
}

} // namespace NamedRecordings
