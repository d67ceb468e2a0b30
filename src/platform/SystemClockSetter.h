#pragma once

#include "platform/ClockSetter.h"

// Sets the computer's clock the way the platform wants it set: on Windows
// through the local-time call, on Linux through the system clock service
// (which asks for the rights itself), falling back to setting the clock
// directly when the process has the rights.
class SystemClockSetter final : public ClockSetter
{
public:
    Outcome setLocalTime(const QDateTime &value) override;
};
