#include "TimeServiceBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTimer>

namespace {

const QString TimeService = QStringLiteral("org.freedesktop.timedate1");

} // namespace

void TimeServiceStandIn::SetTime(qint64 usec, bool relative, bool interactive)
{
    this->usec = usec;
    this->relative = relative;
    this->interactive = interactive;
    mayAskForRights = message().isInteractiveAuthorizationAllowed();
    const QDBusMessage reply = refusal.isEmpty() ? message().createReply()
                                                 : message().createErrorReply(refusal, refusalText);
    setDelayedReply(true);
    QTimer::singleShot(answerAfterMs, this, [bus = connection(), reply] { bus.send(reply); });
}

TimeServiceBus::TimeServiceBus()
{
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QStringLiteral("<busconfig><type>session</type>"
                              "<listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                              "<policy context=\"default\"><allow send_destination=\"*\"/>"
                              "<allow receive_sender=\"*\"/><allow own=\"*\"/>"
                              "</policy></busconfig>")
                   .arg(m_dir.filePath(QStringLiteral("bus")))
                   .toUtf8());
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(5000))
        return;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("service"));
    bus.registerObject(QStringLiteral("/org/freedesktop/timedate1"), &service,
                       QDBusConnection::ExportScriptableSlots |
                           QDBusConnection::ExportScriptableProperties);
    QDBusConnection::connectToBus(m_address, QStringLiteral("client"));
    setRunning(true);
}

TimeServiceBus::~TimeServiceBus()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void TimeServiceBus::setRunning(bool running)
{
    QDBusConnection bus(QStringLiteral("service"));
    if (running)
        bus.registerService(TimeService);
    else
        bus.unregisterService(TimeService);
}
