#pragma once

#include "platform/SleepInhibitor.h"

#ifndef Q_OS_WIN
#include <QDBusConnection>
#endif

// On Windows the thread's execution state; on Linux a block on idle and
// sleep from the login manager and, where the desktop offers one, an
// inhibition of its screen saver.
class SystemSleepInhibitor final : public SleepInhibitor
{
public:
    SystemSleepInhibitor();
#ifndef Q_OS_WIN
    // The login manager is asked on systemBus, the screen saver on sessionBus.
    SystemSleepInhibitor(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);
#endif
    Q_DISABLE_COPY_MOVE(SystemSleepInhibitor)

    std::unique_ptr<Hold> keepAwake(const QString &why) override;

#ifndef Q_OS_WIN
private:
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
#endif
};
