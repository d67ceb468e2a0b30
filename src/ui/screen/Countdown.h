#pragma once

#include <QDateTime>
#include <QString>

// The line under the candidates' clock: the time left until the exam starts,
// then until it ends, then that it is over.
struct Countdown
{
    enum class Phase
    {
        BeforeStart,
        Running,
        // The last 15 minutes.
        Closing,
        // The last 5 minutes.
        Final,
        Over
    };

    Phase phase = Phase::Running;
    QString text;

    // now is the second the clock shows; an exam without a readable end
    // has no countdown.
    static Countdown at(const QDateTime &now, const QDateTime &start, const QDateTime &end);
};
