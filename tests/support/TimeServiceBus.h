#pragma once

#include <QDBusContext>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

// Stands in for the system's time service on a bus of the test's own: it
// answers SetTime as told, reports the synchronisation it is told, and never
// touches the machine's clock.
class TimeServiceStandIn final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
    Q_PROPERTY(bool NTP MEMBER ntp SCRIPTABLE true)
    Q_PROPERTY(bool NTPSynchronized MEMBER ntpSynchronized SCRIPTABLE true)

public:
    // Empty: success; otherwise the name of the error to answer with.
    QString refusal;
    QString refusalText;
    int answerAfterMs = 0;

    qint64 usec = 0;
    bool relative = false;
    bool interactive = false;
    bool mayAskForRights = false;

    bool ntp = true;
    bool ntpSynchronized = true;

public slots:
    Q_SCRIPTABLE void SetTime(qint64 usec, bool relative, bool interactive);
};

// A private D-Bus daemon with the stand-in registered on it. The bus is
// reached through the connections named "client" and "service".
class TimeServiceBus final
{
public:
    TimeServiceBus();
    ~TimeServiceBus();
    Q_DISABLE_COPY_MOVE(TimeServiceBus)

    // Empty when the daemon could not be started.
    QString address() const { return m_address; }
    // Whether the stand-in holds the time service's name.
    void setRunning(bool running);

    TimeServiceStandIn service;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
