#pragma once

#include "platform/ClockSetter.h"

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QObject>
#endif

// Sets the computer's clock the way the platform wants it set: on Windows
// through the local-time call; on Linux through the system's time service,
// which may ask an administrator for the rights, and directly only where no
// time service runs at all.
class SystemClockSetter final : public ClockSetter
{
public:
#ifdef Q_OS_WIN
    SystemClockSetter() = default;
#else
    using SetDirectly = std::function<Outcome(const QDateTime &)>;

    // bus: where the time service is asked. setDirectly: what sets the
    // clock when no time service runs.
    explicit SystemClockSetter(const QDBusConnection &bus = QDBusConnection::systemBus(),
                               SetDirectly setDirectly = setClockDirectly);
    static Outcome setClockDirectly(const QDateTime &value);
#endif
    Q_DISABLE_COPY_MOVE(SystemClockSetter)

    void setLocalTime(const QDateTime &value, Done done) override;

#ifndef Q_OS_WIN
private:
    QDBusConnection m_bus;
    SetDirectly m_setDirectly;
    // Owns the calls still waiting for the service's answer.
    QObject m_calls;
#endif
};
