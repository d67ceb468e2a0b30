#pragma once

#include "platform/Clock.h"

// The system's clock set off by a fixed amount, as a PC whose clock nobody
// has set for a while; safe to read from any thread.
class SkewedClock final : public Clock
{
public:
    explicit SkewedClock(qint64 offsetMs) : m_offsetMs(offsetMs) {}
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(m_offsetMs); }

private:
    qint64 m_offsetMs;
};
