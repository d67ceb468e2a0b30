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

} // namespace

DayMoment DayMoment::of(const QDateTime &reading, const QTime &time)
{
    // Qt builds a time the clock reads twice at its second occurrence and one
    // it jumps over as an invalid value, so the moment is found by hand: the
    // time read with each of the day's offsets from UTC, kept where the clock
    // really reads it then.
    const QTimeZone zone = reading.timeZone();
    const QDate date = reading.date();
    const QDateTime dayStart = date.startOfDay(zone);
    const qint64 asIfUtc = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    QDateTime first;
    for (const int offset : {dayStart.offsetFromUtc(), date.endOfDay(zone).offsetFromUtc()}) {
        const QDateTime candidate = atMoment(reading, asIfUtc - offset * 1000LL);
        if (candidate.date() == date && candidate.time() == time &&
            (!first.isValid() || candidate < first))
            first = candidate;
    }
    if (first.isValid())
        return {first, true};
    const QDateTime jump = zone.nextTransition(dayStart).atUtc;
    return {atMoment(reading, jump.isValid() ? jump.toMSecsSinceEpoch() : asIfUtc), false};
}
