#pragma once

#include "Timeline.h"

#include "schedule/Schedule.h"

#include <QDateTime>
#include <functional>

// Runs the run window's own scheduler over a subject's queue against a
// simulated clock that starts at a given moment and jumps from one timer
// event to the next, so a whole day takes a fraction of a second. The sound
// device decodes every file and plays nothing; the timeline holds what the
// run would play and show.
class Rehearsal final
{
public:
    struct Setup
    {
        // The subject's instructions in play order.
        QList<Instruction> instructions;
        std::function<QString(const QString &)> soundPath;
        QDateTime from;
    };

    explicit Rehearsal(Setup setup) : m_(std::move(setup)) {}
    Q_DISABLE_COPY_MOVE(Rehearsal)

    Timeline run();

private:
    Setup m_;
};
