#include "platform/SystemClockSetter.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>

namespace {

const QString TimeService = QStringLiteral("org.freedesktop.timedate1");

// Stands in for the system's time service on a bus of the test's own: it
// answers SetTime as told and never touches the machine's clock.
class TimeServiceStandIn final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")

public:
    // Empty: success; otherwise the name of the error to answer with.
    QString refusal;
    QString refusalText;
    int answerAfterMs = 0;

    qint64 usec = 0;
    bool relative = true;
    bool interactive = false;
    bool mayAskForRights = false;

public slots:
    Q_SCRIPTABLE void SetTime(qint64 usec, bool relative, bool interactive)
    {
        this->usec = usec;
        this->relative = relative;
        this->interactive = interactive;
        mayAskForRights = message().isInteractiveAuthorizationAllowed();
        const QDBusMessage reply = refusal.isEmpty()
                                       ? message().createReply()
                                       : message().createErrorReply(refusal, refusalText);
        setDelayedReply(true);
        QTimer::singleShot(answerAfterMs, this, [bus = connection(), reply] { bus.send(reply); });
    }
};

} // namespace

class TestSystemClockSetter : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_daemon;
    TimeServiceStandIn m_service;

private slots:
    void initTestCase()
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
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
        QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon (Debian package dbus-daemon) is needed");
        QVERIFY(m_daemon.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();

        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("service"));
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/timedate1"), &m_service,
                                       QDBusConnection::ExportScriptableSlots));
        QDBusConnection::connectToBus(address, QStringLiteral("client"));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    void answersAsTheServiceAnswers_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("answerAfterMs");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("setDirectly");

        const QString noRights = QStringLiteral("没有修改时间的权限");
        QTest::newRow("set") << "running" << QString() << 0 << true << QString() << false;
        QTest::newRow("slow answer") << "running" << QString() << 400 << true << QString() << false;
        QTest::newRow("automatic time synchronisation on")
            << "running"
            << "org.freedesktop.timedate1.AutomaticTimeSyncEnabled" << 0 << false
            << QStringLiteral("自动时间同步已开启") << false;
        QTest::newRow("access denied")
            << "running"
            << "org.freedesktop.DBus.Error.AccessDenied" << 0 << false << noRights << false;
        QTest::newRow("not authorized")
            << "running"
            << "org.freedesktop.PolicyKit1.Error.NotAuthorized" << 0 << false << noRights << false;
        QTest::newRow("other refusal") << "running"
                                       << "org.example.Error.Busy" << 0 << false
                                       << QStringLiteral("the clock is busy") << false;
        QTest::newRow("no time service") << "absent" << QString() << 0 << true << QString() << true;
        QTest::newRow("no bus") << "no bus" << QString() << 0 << true << QString() << true;
    }

    void answersAsTheServiceAnswers()
    {
        QFETCH(QString, service);
        QFETCH(QString, refusal);
        QFETCH(int, answerAfterMs);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        QFETCH(bool, setDirectly);
        QDBusConnection serviceBus(QStringLiteral("service"));
        if (service == QLatin1String("running"))
            QVERIFY(serviceBus.registerService(TimeService));
        else
            serviceBus.unregisterService(TimeService);
        m_service.refusal = refusal;
        m_service.refusalText = QStringLiteral("the clock is busy");
        m_service.answerAfterMs = answerAfterMs;

        QList<QDateTime> setDirectlyTo;
        SystemClockSetter setter(QDBusConnection(service == QLatin1String("no bus")
                                                     ? QStringLiteral("never connected")
                                                     : QStringLiteral("client")),
                                 [&](const QDateTime &value) {
                                     setDirectlyTo.append(value);
                                     return ClockSetter::Outcome{true, {}};
                                 });
        const QDateTime value(QDate(2026, 9, 1), QTime(8, 30, 15, 250));
        std::optional<ClockSetter::Outcome> outcome;
        setter.setLocalTime(value, [&](const ClockSetter::Outcome &answer) { outcome = answer; });

        // The event loop runs on while the service thinks.
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(20);
        QTRY_VERIFY(outcome);
        if (answerAfterMs > 0)
            QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));

        QCOMPARE(outcome->ok, ok);
        QCOMPARE(outcome->error, error);
        QCOMPARE(setDirectlyTo, setDirectly ? QList<QDateTime>{value} : QList<QDateTime>{});
        if (service == QLatin1String("running")) {
            QCOMPARE(m_service.usec, value.toMSecsSinceEpoch() * 1000);
            QVERIFY(!m_service.relative);
            QVERIFY(m_service.interactive);
            QVERIFY(m_service.mayAskForRights);
        }
    }
};

QTEST_GUILESS_MAIN(TestSystemClockSetter)
#include "tst_systemclocksetter.moc"
