#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// Sets the computer's local clock. The platform may take its time to answer
// (it may ask an administrator for the rights first), so the answer comes
// back through a callback. Reports the truth: success, or why the platform
// refused.
class ClockSetter
{
public:
    struct Outcome
    {
        bool ok = false;
        // Why the clock was not set, in words for the user; may be empty.
        QString error;
    };
    using Done = std::function<void(const Outcome &)>;

    virtual ~ClockSetter() = default;
    // done runs exactly once, from the event loop once the platform has
    // answered, or before this returns where the platform answers at once.
    virtual void setLocalTime(const QDateTime &value, Done done) = 0;
};
