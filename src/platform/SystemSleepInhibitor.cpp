#include "platform/SystemSleepInhibitor.h"

#include <QtDebug>

namespace {

const QString Who = QStringLiteral("Tessivox");

void warnOfRefusal(const QString &refusal)
{
    if (!refusal.isEmpty())
        qWarning("Tessivox: the PC may sleep during the run: %s", qUtf8Printable(refusal));
}

} // namespace

#ifdef Q_OS_WIN
#include <windows.h>

SystemSleepInhibitor::SystemSleepInhibitor() = default;

std::unique_ptr<SleepInhibitor::Hold> SystemSleepInhibitor::keepAwake(const QString &)
{
    // The state belongs to the calling thread: the user-interface thread,
    // which also releases it.
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED) == 0) {
        const QString refusal =
            QStringLiteral("SetThreadExecutionState failed (error %1)").arg(GetLastError());
        warnOfRefusal(refusal);
        return std::make_unique<Hold>(refusal, nullptr);
    }
    return std::make_unique<Hold>(QString(), [] { SetThreadExecutionState(ES_CONTINUOUS); });
}

#else
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <optional>

namespace {

const QString ScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
// Both services answer at once; a hung one must not hold up the run for long.
constexpr int Timeout = 2000;

QString errorOf(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return QStringLiteral("unexpected answer");
}

} // namespace

SystemSleepInhibitor::SystemSleepInhibitor()
    : SystemSleepInhibitor(QDBusConnection::systemBus(), QDBusConnection::sessionBus())
{}

SystemSleepInhibitor::SystemSleepInhibitor(const QDBusConnection &systemBus,
                                           const QDBusConnection &sessionBus)
    : m_systemBus(systemBus), m_sessionBus(sessionBus)
{}

std::unique_ptr<SleepInhibitor::Hold> SystemSleepInhibitor::keepAwake(const QString &why)
{
    QStringList refusals;

    // The login manager keeps its block for as long as the returned
    // descriptor stays open.
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("idle:sleep") << Who << why << QStringLiteral("block");
    const QDBusMessage block = m_systemBus.call(inhibit, QDBus::Block, Timeout);
    QDBusUnixFileDescriptor descriptor;
    if (block.type() == QDBusMessage::ReplyMessage && block.arguments().size() == 1)
        descriptor = qdbus_cast<QDBusUnixFileDescriptor>(block.arguments().constFirst());
    if (!descriptor.isValid())
        refusals << QStringLiteral("login manager: ") + errorOf(block);

    // Not every desktop has a screen saver service; where there is none,
    // there is nothing to hold off.
    std::optional<uint> cookie;
    if (m_sessionBus.isConnected() && m_sessionBus.interface()->isServiceRegistered(ScreenSaver)) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            ScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), ScreenSaver,
            QStringLiteral("Inhibit"));
        call << Who << why;
        const QDBusMessage reply = m_sessionBus.call(call, QDBus::Block, Timeout);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1)
            cookie = reply.arguments().constFirst().toUInt();
        else
            refusals << QStringLiteral("screen saver: ") + errorOf(reply);
    }

    const QString refusal = refusals.join(QStringLiteral("; "));
    warnOfRefusal(refusal);
    return std::make_unique<Hold>(refusal, [descriptor, cookie, bus = m_sessionBus]() mutable {
        descriptor = QDBusUnixFileDescriptor();
        if (cookie) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                ScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), ScreenSaver,
                QStringLiteral("UnInhibit"));
            call << *cookie;
            // Not awaited: the run is over, and the service forgets a
            // client that leaves the bus anyway.
            bus.send(call);
        }
    });
}
#endif
