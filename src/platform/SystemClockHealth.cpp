#include "platform/SystemClockHealth.h"

#ifdef Q_OS_WIN
#include <QSettings>

void SystemClockHealth::read(Done done) const
{
    // NTP and NT5DS (from the domain) synchronise, AllSync from either;
    // NoSync never does.
    const QString type = QSettings(m_parameters, QSettings::NativeFormat)
                             .value(QStringLiteral("Type"))
                             .toString()
                             .toUpper();
    if (type.isEmpty())
        done({Sync::Unknown, false, QStringLiteral("no Windows time service settings")});
    else if (type == QLatin1String("NOSYNC"))
        done({Sync::NotSynchronised, false, {}});
    else
        done({Sync::Unknown, true,
              QStringLiteral("Windows does not say when its time service (%1) last "
                             "synchronised the clock")
                  .arg(type)});
}

#else
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString TimeService = QStringLiteral("org.freedesktop.timedate1");
// A service that answers at all answers this at once; one that hangs must
// not keep a run's log line waiting long.
constexpr int AnswerTimeoutMs = 2000;

} // namespace

SystemClockHealth::SystemClockHealth(const QDBusConnection &bus) : m_bus(bus) {}

void SystemClockHealth::read(Done done) const
{
    if (!m_bus.isConnected()) {
        done({Sync::Unknown, false, QStringLiteral("no system bus")});
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        TimeService, QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    call << TimeService;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, AnswerTimeoutMs), &m_calls);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher,
        [done = std::move(done)](QDBusPendingCallWatcher *answer) {
            answer->deleteLater();
            const QDBusPendingReply<QVariantMap> reply = *answer;
            if (reply.isError()) {
                done({Sync::Unknown, false, reply.error().message()});
                return;
            }
            const QVariantMap properties = reply.value();
            const QVariant synchronised = properties.value(QStringLiteral("NTPSynchronized"));
            if (!synchronised.isValid()) {
                done({Sync::Unknown, false, QStringLiteral("the time service does not say")});
                return;
            }
            done({synchronised.toBool() ? Sync::Synchronised : Sync::NotSynchronised,
                  properties.value(QStringLiteral("NTP")).toBool(),
                  {}});
        });
}
#endif
