#pragma once

#include <QDateTime>
#include <QTime>

// Where a time of day falls on the day of a clock reading, in the reading's
// own time zone. On a daylight-saving day a time may fall twice (the clock is
// set back) or not at all (the clock jumps over it).
struct DayMoment
{
    // The first moment that day at which the clock reads the time; for a time
    // the clock jumps over, the moment of the jump.
    QDateTime at;
    // False for a time the clock jumps over that day.
    bool exists = true;

    static DayMoment of(const QDateTime &reading, const QTime &time);

    // Whether the moment lies behind the reading: a time that exists has
    // passed once its moment has begun by a millisecond, a time the clock
    // jumps over as soon as the clock has jumped.
    bool passedAt(const QDateTime &reading) const { return exists ? reading > at : reading >= at; }
};
