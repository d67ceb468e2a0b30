#pragma once

#include "platform/ClockSetter.h"

#include <QList>

class FakeClockSetter final : public ClockSetter
{
public:
    Outcome setLocalTime(const QDateTime &value) override
    {
        requests.append(value);
        return outcome;
    }

    QList<QDateTime> requests;
    Outcome outcome{true, {}};
};
