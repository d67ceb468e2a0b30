#pragma once

#include "platform/ClockHealth.h"

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QObject>
#endif

// On Linux the system's time service (its NTPSynchronized and NTP
// properties), asked without waiting. On Windows the time service's settings
// say whether it synchronises at all; whether it has lately, Windows keeps
// to itself (its service is started only now and then), so that stays
// unknown, with the reason.
class SystemClockHealth final : public ClockHealth
{
public:
#ifdef Q_OS_WIN
    // parameters: the registry key of the time service's settings.
    explicit SystemClockHealth(const QString &parameters = QStringLiteral(
                                   "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                                   "W32Time\\Parameters"))
        : m_parameters(parameters)
    {}
#else
    // bus: where the time service is asked.
    explicit SystemClockHealth(const QDBusConnection &bus = QDBusConnection::systemBus());
#endif
    Q_DISABLE_COPY_MOVE(SystemClockHealth)

    void read(Done done) const override;

private:
#ifdef Q_OS_WIN
    QString m_parameters;
#else
    QDBusConnection m_bus;
    // Owns the calls still waiting for the service's answer.
    mutable QObject m_calls;
#endif
};
