#include "platform/SystemClockSetter.h"

#ifdef Q_OS_WIN
#include <windows.h>

ClockSetter::Outcome SystemClockSetter::setLocalTime(const QDateTime &value)
{
    const QDate date = value.date();
    const QTime time = value.time();
    SYSTEMTIME st{};
    st.wYear = WORD(date.year());
    st.wMonth = WORD(date.month());
    st.wDayOfWeek = WORD(date.dayOfWeek() % 7);
    st.wDay = WORD(date.day());
    st.wHour = WORD(time.hour());
    st.wMinute = WORD(time.minute());
    st.wSecond = WORD(time.second());
    st.wMilliseconds = WORD(time.msec());
    if (SetLocalTime(&st))
        return {true, {}};
    return {false, QStringLiteral("SetLocalTime failed (error %1)").arg(GetLastError())};
}

#else
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

ClockSetter::Outcome setThroughService(const QDateTime &value)
{
    QDBusInterface timedate(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.timedate1"), QDBusConnection::systemBus());
    if (!timedate.isValid())
        return {false, timedate.lastError().message()};
    // Interactive, so that the service may ask an administrator for the
    // rights instead of refusing outright.
    const QDBusReply<void> reply = timedate.call(
        QStringLiteral("SetTime"), qint64(value.toMSecsSinceEpoch()) * 1000, false, true);
    if (reply.isValid())
        return {true, {}};
    return {false, reply.error().message()};
}

ClockSetter::Outcome setDirectly(const QDateTime &value)
{
    const qint64 ms = value.toMSecsSinceEpoch();
    timespec ts{};
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long(ms % 1000) * 1000000L;
    if (clock_settime(CLOCK_REALTIME, &ts) == 0)
        return {true, {}};
    return {false, QString::fromLocal8Bit(std::strerror(errno))};
}

} // namespace

ClockSetter::Outcome SystemClockSetter::setLocalTime(const QDateTime &value)
{
    const Outcome service = setThroughService(value);
    if (service.ok)
        return service;
    const Outcome direct = setDirectly(value);
    if (direct.ok)
        return direct;
    return {false, service.error + QStringLiteral("; ") + direct.error};
}
#endif
