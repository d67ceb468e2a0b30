#include "platform/SystemClockSetter.h"

namespace {

const QString NoRights = QStringLiteral("没有修改时间的权限");

} // namespace

#ifdef Q_OS_WIN
#include <windows.h>

namespace {

// What to do, for whoever sits at the PC: an ordinary account may not set
// the clock on Windows.
const QString NoRightsOnWindows =
    NoRights + QStringLiteral("：请右键单击本程序，选择“以管理员身份运行”，"
                              "或请管理员在本机的安全策略中授予此帐户“更改系统时间”的权限");

// The privilege is held, switched off, by an administrator's token; an
// ordinary user's token has not got it, and switching it on changes nothing.
void enableSystemTimePrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

} // namespace

unsigned long SystemClockSetter::setWithPrivilege(const QDateTime &value)
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
    enableSystemTimePrivilege();
    return ::SetLocalTime(&st) ? ERROR_SUCCESS : GetLastError();
}

void SystemClockSetter::setLocalTime(const QDateTime &value, Done done)
{
    const unsigned long error = m_set(value);
    if (error == ERROR_SUCCESS)
        done({true, {}});
    else if (error == ERROR_PRIVILEGE_NOT_HELD || error == ERROR_ACCESS_DENIED)
        done({false, NoRightsOnWindows});
    else
        done({false, QStringLiteral("SetLocalTime failed (error %1)").arg(error)});
}

#else
#include "platform/Clock.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

const QString TimeService = QStringLiteral("org.freedesktop.timedate1");
// Long enough for a person to read a password prompt and answer it.
constexpr int AnswerTimeoutMs = 120'000;

// Answers meaning that no time service runs here at all, so setting the
// clock directly is the only way left. A service that answers "no" must be
// believed: it would put the clock back a moment later.
bool noTimeService(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
        return true;
    default:
        break;
    }
    // Nobody holds the name, or its service file names a program that
    // cannot be started, as where no system manager runs.
    return error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           error.name().startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn."));
}

QString reasonFor(const QDBusError &error)
{
    const QString name = error.name();
    if (name == QLatin1String("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"))
        return QStringLiteral("自动时间同步已开启");
    if (error.type() == QDBusError::AccessDenied ||
        name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        name.startsWith(QLatin1String("org.freedesktop.PolicyKit1.Error.")))
        return NoRights;
    return error.message().isEmpty() ? name : error.message();
}

} // namespace

SystemClockSetter::SystemClockSetter(const Clock &clock, const QDBusConnection &bus,
                                     SetDirectly setDirectly)
    : m_clock(clock), m_bus(bus), m_setDirectly(std::move(setDirectly))
{}

ClockSetter::Outcome SystemClockSetter::stepClockDirectly(qint64 stepMs)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const qint64 ms = qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000L + stepMs;
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long(ms % 1000) * 1000000L;
    if (clock_settime(CLOCK_REALTIME, &ts) == 0)
        return {true, {}};
    return {false, errno == EPERM ? NoRights : QString::fromLocal8Bit(std::strerror(errno))};
}

void SystemClockSetter::setLocalTime(const QDateTime &value, Done done)
{
    const qint64 stepMs = m_clock.now().msecsTo(value);
    if (!m_bus.isConnected()) {
        done(m_setDirectly(stepMs));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(TimeService, QStringLiteral("/org/freedesktop/timedate1"),
                                       TimeService, QStringLiteral("SetTime"));
    // A step in microseconds, relative to the clock when the service applies
    // it, and the service may ask an administrator for the rights instead of
    // refusing outright.
    call << stepMs * 1000 << true << true;
    call.setInteractiveAuthorizationAllowed(true);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, AnswerTimeoutMs), &m_calls);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [this, stepMs, done = std::move(done)](QDBusPendingCallWatcher *answer) {
                         answer->deleteLater();
                         if (!answer->isError())
                             done({true, {}});
                         else if (noTimeService(answer->error()))
                             done(m_setDirectly(stepMs));
                         else
                             done({false, reasonFor(answer->error())});
                     });
}
#endif
