#pragma once

#include <QDateTime>
#include <QList>

class Clock;
class QSqlDatabase;

// How far this PC's clock is from the server's: the PC's clock minus the
// server's, taken as if the server had read its clock half-way through the
// round trip. Of a few samples, the one with the shortest round trip wins:
// it leaves the least room for the answer to have been delayed one way.
struct ClockOffset
{
    qint64 offsetMs = 0;
    qint64 roundTripMs = 0;

    static ClockOffset sample(const QDateTime &sent, const QDateTime &server,
                              const QDateTime &received);
    static ClockOffset best(const QList<ClockOffset> &samples);
    // Asks the server's clock_timestamp() samples times. Throws DbError.
    static ClockOffset measure(const QSqlDatabase &db, const Clock &clock, int samples = 5);
};
