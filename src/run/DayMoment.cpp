#include "run/DayMoment.h"

#include <QTimeZone>

namespace {

// The same zone and kind of time as the reading, at another moment.
QDateTime atMoment(const QDateTime &reading, qint64 msecsSinceEpoch)
{
    QDateTime moment = reading;
    moment.setMSecsSinceEpoch(msecsSinceEpoch);
    return moment;
}

// The first or last moment of the reading's day in the reading's own kind of
// time. A local reading must stay with the C library, which read the clock:
// Qt's own parse of TZ disagrees with it for the POSIX forms ("UTC-8" is
// eight hours ahead to the C library, behind to Qt) and knows no file form.
QDateTime dayEdge(const QDateTime &reading, bool end)
{
    const QDate date = reading.date();
    if (reading.timeSpec() == Qt::TimeZone)
        return end ? date.endOfDay(reading.timeZone()) : date.startOfDay(reading.timeZone());
    const int offset = reading.timeSpec() == Qt::OffsetFromUTC ? reading.offsetFromUtc() : 0;
    return end ? date.endOfDay(reading.timeSpec(), offset)
               : date.startOfDay(reading.timeSpec(), offset);
}

// The moment the clock jumps over a time it never reads that day: the first
// one at which it reads later than the time.
QDateTime jumpOver(const QDateTime &reading, const QTime &time)
{
    const QDateTime start = dayEdge(reading, false);
    if (start.time() > time)
        return start;
    qint64 before = start.toMSecsSinceEpoch();
    qint64 after = dayEdge(reading, true).toMSecsSinceEpoch();
    while (after - before > 1) {
        const qint64 middle = before + (after - before) / 2;
        (atMoment(reading, middle).time() > time ? after : before) = middle;
    }
    return atMoment(reading, after);
}

} // namespace

DayMoment DayMoment::of(const QDateTime &reading, const QTime &time)
{
    // Qt builds a time the clock reads twice at its second occurrence and one
    // it jumps over as an invalid value, so the moment is found by hand: the
    // time read with each of the day's offsets from UTC, kept where the clock
    // really reads it then.
    const QDate date = reading.date();
    const qint64 asIfUtc = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    QDateTime first;
    for (const bool end : {false, true}) {
        const QDateTime candidate =
            atMoment(reading, asIfUtc - dayEdge(reading, end).offsetFromUtc() * 1000LL);
        if (candidate.date() == date && candidate.time() == time &&
            (!first.isValid() || candidate < first))
            first = candidate;
    }
    if (first.isValid())
        return {first, true};
    return {jumpOver(reading, time), false};
}
