#include "DelayCommand.h"

#include "Arguments.h"
#include "data/ServerAddress.h"
#include "data/Statements.h"
#include "data/StoredTime.h"
#include "data/TDataModule1.h"

#include <QStringList>

namespace {

// A day either way: more would wrap a time of day onto itself.
constexpr int MostMinutes = 24 * 60 - 1;

QString shownDateTime(const QDateTime &value)
{
    return StoredTime::fromDateTime(value);
}

} // namespace

int DelayCommand::run(const Arguments &arguments)
{
    const QString uri = arguments.positional().at(0);
    const QString subject = arguments.positional().at(1);
    bool number = false;
    const int minutes = arguments.positional().at(2).toInt(&number);
    if (!ServerAddress::isServer(uri))
        return fail(
            QStringLiteral("%1: delay needs the centre's server (postgresql://...)").arg(uri), 2);
    if (!number || minutes == 0 || qAbs(minutes) > MostMinutes)
        return fail(QStringLiteral("MINUTES must be a whole number from -%1 to %1, not 0: %2")
                        .arg(MostMinutes)
                        .arg(arguments.positional().at(2)),
                    2);

    TDataModule1 module(uri);
    QStringList lines;
    QDateTime now;
    bool found = false;
    int moved = 0;
    const auto timeOfDay = [](const QTime &t) { return t.toString(QStringLiteral("HH:mm:ss")); };
    module.transaction([&] {
        Query &query = module.ADOQuery1;
        query.replace({QStringLiteral("SELECT to_char(LOCALTIMESTAMP, 'YYYY-MM-DD HH24:MI:SS') "
                                      "AS now"),
                       {}});
        query.open();
        now = StoredTime::toDateTime(query.text(QStringLiteral("now")));
        const QDateTime lead = now.addSecs(LeadS);

        query.replace(Statements::selectSubject(subject));
        query.open();
        found = query.recordCount() > 0;
        QList<Statement> updates;
        for (; !query.eof(); query.next()) {
            const QDateTime start = query.dateTime(QStringLiteral("starttime"));
            const QDateTime end = query.dateTime(QStringLiteral("endtime"));
            const bool startAhead = start.isValid() && start > lead;
            const QDateTime newStart = startAhead ? start.addSecs(minutes * 60) : start;
            const QDateTime newEnd = end.isValid() ? end.addSecs(minutes * 60) : end;
            lines << (startAhead ? QStringLiteral("  start     %1 -> %2")
                                       .arg(shownDateTime(start), shownDateTime(newStart))
                                 : QStringLiteral("  start     %1 stays: it has begun")
                                       .arg(shownDateTime(start)));
            lines << (end.isValid() ? QStringLiteral("  end       %1 -> %2")
                                          .arg(shownDateTime(end), shownDateTime(newEnd))
                                    : QStringLiteral("  end       cannot be read, left as it is"));
            // Each time is written back only where it moved: one that cannot
            // be read stays as stored.
            if (startAhead)
                updates << Statement{
                    QStringLiteral("UPDATE test SET starttime = ? WHERE rowid = ?"),
                    {StoredTime::fromDateTime(newStart), query.text(QStringLiteral("rowid"))}};
            if (end.isValid())
                updates << Statement{
                    QStringLiteral("UPDATE test SET endtime = ? WHERE rowid = ?"),
                    {StoredTime::fromDateTime(newEnd), query.text(QStringLiteral("rowid"))}};
        }
        if (!found)
            return;

        query.replace(Statements::selectSoundsByPlaytime(subject));
        query.open();
        for (; !query.eof(); query.next()) {
            const QTime time = query.time(QStringLiteral("playtime"));
            const QString file = query.text(QStringLiteral("filename"));
            if (!time.isValid()) {
                lines << QStringLiteral("  %1  %2 stays: its time cannot be read")
                             .arg(query.text(QStringLiteral("playtime")), file);
                continue;
            }
            // The rooms play by the time of day: ahead means later today.
            if (time <= lead.time() || lead.date() != now.date()) {
                lines << QStringLiteral("  %1  %2 stays: not more than %3 s ahead")
                             .arg(timeOfDay(time), file)
                             .arg(LeadS);
                continue;
            }
            const QTime to = time.addSecs(minutes * 60);
            lines << QStringLiteral("  %1 -> %2  %3").arg(timeOfDay(time), timeOfDay(to), file);
            updates << Statement{QStringLiteral("UPDATE sound SET playtime = ? WHERE rowid = ?"),
                                 {StoredTime::fromTime(to), query.text(QStringLiteral("rowid"))}};
            ++moved;
        }
        module.ADOQuery2.executeAll(updates);
    });
    if (!found)
        return fail(QStringLiteral("%1 has no subject %2").arg(ServerAddress::shown(uri), subject),
                    1);
    m_out << subject << (minutes > 0 ? " put back by " : " brought forward by ") << qAbs(minutes)
          << " min on " << ServerAddress::shown(uri) << " (server time " << shownDateTime(now)
          << "):\n"
          << lines.join(QLatin1Char('\n')) << "\n"
          << moved << (moved == 1 ? " instruction" : " instructions") << " moved\n";
    return 0;
}

int DelayCommand::fail(const QString &text, int code)
{
    m_err << "tessivox-db: " << text << "\n";
    return code;
}
