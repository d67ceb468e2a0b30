#pragma once

#include <QDateTime>
#include <QString>

// Sets the computer's local clock. Reports the truth: success, or the reason
// the platform refused.
class ClockSetter
{
public:
    struct Outcome
    {
        bool ok = false;
        QString error;
    };

    virtual ~ClockSetter() = default;
    virtual Outcome setLocalTime(const QDateTime &value) = 0;
};
