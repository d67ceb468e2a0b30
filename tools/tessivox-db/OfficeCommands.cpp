#include "OfficeCommands.h"

#include "CommandInput.h"

#include "data/Query.h"
#include "schedule/ScheduleNotice.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/Transaction.h"
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
    // Rooms made before it learn of a change only when they read again.
    bool notices = false;
    ServerLink(uri).run(
        [&](Session &session) {
            const QSqlDatabase &db = session.db();
            exams = present(db, ScheduleTables).size() == ScheduleTables.size();
            if (!exams)
                return;
            added = OfficeSchema::addMissing(db);
            Transaction::run(db, {QStringLiteral("BEGIN")}, [&] {
                notices = !ScheduleNotice::exists(db);
                if (notices)
                    ScheduleNotice::create(db);
            });
        },
        CommandInput::ServerDeadline);
    if (!exams)
        return fail(QStringLiteral("%1 is no exam database (tables var, test, sound); create makes "
                                   "one")
                        .arg(ServerAddress::shown(uri)));
    if (added.isEmpty())
        m_out << ServerAddress::shown(uri)
              << " already has the office's tables room and room_event and its functions, and "
                 "the recordings' tables sound_file and sound_file_chunk\n";
    else
        m_out << "Added " << added.join(QStringLiteral(", ")) << " to " << ServerAddress::shown(uri)
              << "\n";
    if (notices)
        m_out << "Added the notice of schedule changes to the rooms (trigger "
                 "tessivox_schedule_changed on var, test, sound, sound_file) and its count of "
                 "changes (table "
              << ScheduleNotice::Count << ")\n";
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
