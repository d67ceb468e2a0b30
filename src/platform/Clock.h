#pragma once

#include <QDateTime>

// Local date and time to the millisecond. Everything that looks at the time
// asks this, so tests can stand the program at any moment.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
