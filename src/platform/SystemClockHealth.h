#pragma once

#include "platform/ClockHealth.h"

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QObject>
#endif

// On Linux the system's time service (its NTPSynchronized and NTP
// properties), asked without waiting; on Windows nothing is asked yet and
// the answer is unknown.
class SystemClockHealth final : public ClockHealth
{
public:
#ifdef Q_OS_WIN
    SystemClockHealth() = default;
#else
    // bus: where the time service is asked.
    explicit SystemClockHealth(const QDBusConnection &bus = QDBusConnection::systemBus());
#endif
    Q_DISABLE_COPY_MOVE(SystemClockHealth)

    void read(Done done) const override;

#ifndef Q_OS_WIN
private:
    QDBusConnection m_bus;
    // Owns the calls still waiting for the service's answer.
    mutable QObject m_calls;
#endif
};
