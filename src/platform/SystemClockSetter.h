#pragma once

#include "platform/ClockSetter.h"

class Clock;

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QObject>
#endif

// Sets the computer's clock the way the platform wants it set: on Windows
// through the local-time call; on Linux through the system's time service,
// which may ask an administrator for the rights, and directly only where no
// time service runs at all. On Linux the clock is stepped by the difference
// between the value and the moment of the request: the answer may come after
// a password prompt, and the time spent on it must not be lost.
class SystemClockSetter final : public ClockSetter
{
public:
#ifdef Q_OS_WIN
    // Sets the local time; 0 or the system's error code. The system asks for
    // the privilege to set its time, which an administrator's account holds
    // but has to switch on first.
    using SetLocalTime = std::function<unsigned long(const QDateTime &value)>;

    explicit SystemClockSetter(const Clock &, SetLocalTime set = setWithPrivilege)
        : m_set(std::move(set))
    {}
    static unsigned long setWithPrivilege(const QDateTime &value);
#else
    // Moves the clock by stepMs milliseconds from what it reads when called.
    using SetDirectly = std::function<Outcome(qint64 stepMs)>;

    // clock: what the value is measured against. bus: where the time service
    // is asked. setDirectly: what steps the clock when no time service runs.
    explicit SystemClockSetter(const Clock &clock,
                               const QDBusConnection &bus = QDBusConnection::systemBus(),
                               SetDirectly setDirectly = stepClockDirectly);
    static Outcome stepClockDirectly(qint64 stepMs);
#endif
    Q_DISABLE_COPY_MOVE(SystemClockSetter)

    void setLocalTime(const QDateTime &value, Done done) override;

private:
#ifdef Q_OS_WIN
    SetLocalTime m_set;
#else
    const Clock &m_clock;
    QDBusConnection m_bus;
    SetDirectly m_setDirectly;
    // Owns the calls still waiting for the service's answer.
    QObject m_calls;
#endif
};
