#include "schedule/ExamDelay.h"

#include "data/StoredTime.h"
#include "data/TDataModule1.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"

namespace ExamDelay {

Result apply(const QString &uri, const QString &subject, int minutes)
{
    Result result;
    TDataModule1 module(uri);
    const auto timeOfDay = [](const QTime &t) { return t.toString(QStringLiteral("HH:mm:ss")); };
    ScheduleTables::transaction(module, [&] {
        Query &query = module.ADOQuery1;
        query.replace({QStringLiteral("SELECT to_char(LOCALTIMESTAMP, 'YYYY-MM-DD HH24:MI:SS') "
                                      "AS now"),
                       {}});
        query.open();
        result.serverNow = StoredTime::toDateTime(query.text(QStringLiteral("now")));
        const QDateTime lead = result.serverNow.addSecs(LeadS);

        query.replace(Statements::selectSubject(subject));
        query.open();
        result.found = query.recordCount() > 0;
        QList<Statement> updates;
        for (; !query.eof(); query.next()) {
            const QDateTime start = query.dateTime(QStringLiteral("starttime"));
            const QDateTime end = query.dateTime(QStringLiteral("endtime"));
            const bool startAhead = start.isValid() && start > lead;
            const QDateTime newStart = startAhead ? start.addSecs(minutes * 60) : start;
            const QDateTime newEnd = end.isValid() ? end.addSecs(minutes * 60) : end;
            if (startAhead)
                result.lines << QStringLiteral("  start     %1 -> %2")
                                    .arg(StoredTime::fromDateTime(start),
                                         StoredTime::fromDateTime(newStart));
            else if (start.isValid())
                result.lines << QStringLiteral("  start     %1 stays: it has begun")
                                    .arg(StoredTime::fromDateTime(start));
            else
                result.lines << QStringLiteral("  start     cannot be read, left as it is");
            result.lines << (end.isValid()
                                 ? QStringLiteral("  end       %1 -> %2")
                                       .arg(StoredTime::fromDateTime(end),
                                            StoredTime::fromDateTime(newEnd))
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
        if (!result.found)
            return;

        query.replace(Statements::selectSoundsByPlaytime(subject));
        query.open();
        for (; !query.eof(); query.next()) {
            const QTime time = query.time(QStringLiteral("playtime"));
            const QString file = query.text(QStringLiteral("filename"));
            if (!time.isValid()) {
                result.lines << QStringLiteral("  %1  %2 stays: its time cannot be read")
                                    .arg(query.text(QStringLiteral("playtime")), file);
                continue;
            }
            // The rooms play by the time of day: ahead means later today.
            if (time <= lead.time() || lead.date() != result.serverNow.date()) {
                result.lines << (time <= result.serverNow.time()
                                     ? QStringLiteral("  %1  %2 stays: its second has passed")
                                           .arg(timeOfDay(time), file)
                                     : QStringLiteral("  %1  %2 stays: not more than %3 s ahead")
                                           .arg(timeOfDay(time), file)
                                           .arg(LeadS));
                continue;
            }
            // The rooms play by the time of day of the exam's day: a second
            // moved past midnight, either way, would come round a day early
            // or late, so nothing is moved then.
            const QDateTime from(result.serverNow.date(), time);
            const QDateTime moved = from.addSecs(qint64(minutes) * 60);
            if (moved.date() != from.date()) {
                result.refusal =
                    QStringLiteral("%1 %2 would move past midnight to %3 on %4, and the rooms play "
                                   "by the time of day: nothing was changed. Move the exam to the "
                                   "next day instead.")
                        .arg(timeOfDay(time), file, timeOfDay(moved.time()),
                             moved.date().toString(Qt::ISODate));
                return;
            }
            const QTime to = moved.time();
            result.lines
                << QStringLiteral("  %1 -> %2  %3").arg(timeOfDay(time), timeOfDay(to), file);
            updates << Statement{QStringLiteral("UPDATE sound SET playtime = ? WHERE rowid = ?"),
                                 {StoredTime::fromTime(to), query.text(QStringLiteral("rowid"))}};
            ++result.instructionsMoved;
        }
        module.ADOQuery2.executeAll(updates);
    });
    return result;
}

QString Result::text(const QString &subject, int minutes, const QString &shownServer) const
{
    return QStringLiteral("%1 %2 %3 min on %4 (server time %5):\n%6\n%7 %8 moved\n")
        .arg(subject,
             minutes > 0 ? QStringLiteral("put back by") : QStringLiteral("brought forward by"))
        .arg(qAbs(minutes))
        .arg(shownServer, StoredTime::fromDateTime(serverNow), lines.join(QLatin1Char('\n')))
        .arg(instructionsMoved)
        .arg(instructionsMoved == 1 ? QStringLiteral("instruction")
                                    : QStringLiteral("instructions"));
}

} // namespace ExamDelay
