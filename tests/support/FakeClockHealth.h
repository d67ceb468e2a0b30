#pragma once

#include "platform/ClockHealth.h"

// Answers at once with reading: a synchronised clock unless told otherwise.
class FakeClockHealth final : public ClockHealth
{
public:
    void read(Done done) const override { done(reading); }

    Reading reading{Sync::Synchronised, true, {}};
};
