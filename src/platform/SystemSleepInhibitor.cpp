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
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <optional>

namespace {

const QString ScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
// Both services answer at once; a hung one is given up after this, without
// anyone waiting for it.
constexpr int Timeout = 2000;

QString errorOf(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return QStringLiteral("unexpected answer");
}

// What a hold has got from the services so far. Their answers come through
// the event loop, also after the hold was let go.
struct Answers
{
    std::shared_ptr<QString> refusal = std::make_shared<QString>();
    QDBusUnixFileDescriptor block;
    std::optional<uint> cookie;
    bool released = false;
    QDBusConnection sessionBus{QString()};

    void refused(const QString &who, const QDBusMessage &reply)
    {
        const QString text = who + QStringLiteral(": ") + errorOf(reply);
        if (!refusal->isEmpty())
            refusal->append(QStringLiteral("; "));
        refusal->append(text);
        warnOfRefusal(text);
    }
    void unInhibit() const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            ScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), ScreenSaver,
            QStringLiteral("UnInhibit"));
        call << *cookie;
        // Not awaited: the run is over, and the service forgets a client
        // that leaves the bus anyway.
        sessionBus.send(call);
    }
};

// Calls handle with the answer when it comes.
void whenAnswered(const QDBusConnection &bus, const QDBusMessage &call,
                  std::function<void(const QDBusMessage &)> handle)
{
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, Timeout));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [handle = std::move(handle)](QDBusPendingCallWatcher *answered) {
                         handle(answered->reply());
                         answered->deleteLater();
                     });
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
    auto answers = std::make_shared<Answers>();
    answers->sessionBus = m_sessionBus;

    // The login manager keeps its block for as long as the returned
    // descriptor stays open.
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("idle:sleep") << Who << why << QStringLiteral("block");
    whenAnswered(m_systemBus, inhibit, [answers](const QDBusMessage &reply) {
        QDBusUnixFileDescriptor descriptor;
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1)
            descriptor = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
        if (!descriptor.isValid())
            answers->refused(QStringLiteral("login manager"), reply);
        else if (!answers->released)
            answers->block = descriptor;
    });

    // Not every desktop has a screen saver service; where there is none,
    // there is nothing to hold off.
    if (m_sessionBus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            ScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), ScreenSaver,
            QStringLiteral("Inhibit"));
        call << Who << why;
        whenAnswered(m_sessionBus, call, [answers](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
                answers->cookie = reply.arguments().constFirst().toUInt();
                if (answers->released)
                    answers->unInhibit();
            } else if (reply.errorName() !=
                       QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
                answers->refused(QStringLiteral("screen saver"), reply);
            }
        });
    }

    return std::make_unique<Hold>(answers->refusal, [answers] {
        answers->released = true;
        answers->block = QDBusUnixFileDescriptor();
        if (answers->cookie)
            answers->unInhibit();
    });
}
#endif
