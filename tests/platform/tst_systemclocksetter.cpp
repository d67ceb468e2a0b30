#include "platform/SystemClockHealth.h"
#include "platform/SystemClockSetter.h"

#include "support/FakeClock.h"
#include "support/TimeServiceBus.h"

#include <QDBusConnection>
#include <QTest>
#include <QTimer>
#include <optional>

// The program's two clients of the system's time service: setting the clock
// and asking whether it is synchronised.
class TestSystemClockSetter : public QObject
{
    Q_OBJECT

    std::unique_ptr<TimeServiceBus> m_bus;

private slots:
    void initTestCase()
    {
        m_bus = std::make_unique<TimeServiceBus>();
        QVERIFY2(!m_bus->address().isEmpty(), "dbus-daemon (Debian package dbus-daemon) is needed");
    }

    void cleanupTestCase() { m_bus.reset(); }

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
        TimeServiceStandIn &standIn = m_bus->service;
        m_bus->setRunning(service == QLatin1String("running"));
        standIn.refusal = refusal;
        standIn.refusalText = QStringLiteral("the clock is busy");
        standIn.answerAfterMs = answerAfterMs;

        // The value is sent as a step from the moment of the request, so that
        // time spent on a password prompt is not lost from the clock.
        const FakeClock clock(QDateTime(QDate(2026, 9, 1), QTime(8, 0)));
        const QDateTime value(QDate(2026, 9, 1), QTime(8, 30, 15, 250));
        const qint64 stepMs = 30 * 60000 + 15250;
        QList<qint64> steppedDirectly;
        SystemClockSetter setter(clock,
                                 QDBusConnection(service == QLatin1String("no bus")
                                                     ? QStringLiteral("never connected")
                                                     : QStringLiteral("client")),
                                 [&](qint64 step) {
                                     steppedDirectly.append(step);
                                     return ClockSetter::Outcome{true, {}};
                                 });
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
        QCOMPARE(steppedDirectly, setDirectly ? QList<qint64>{stepMs} : QList<qint64>{});
        if (service == QLatin1String("running")) {
            QCOMPARE(standIn.usec, stepMs * 1000);
            QVERIFY(standIn.relative);
            QVERIFY(standIn.interactive);
            QVERIFY(standIn.mayAskForRights);
        }
    }

    void theClockHealthIsWhatTheTimeServiceSays_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("ntp");
        QTest::addColumn<bool>("synchronised");
        QTest::addColumn<QString>("text");
        QTest::newRow("synchronised") << "running" << true << true << "synchronised";
        QTest::newRow("synchronisation on, not yet synchronised")
            << "running" << true << false << "not synchronised (automatic synchronisation is on)";
        QTest::newRow("synchronisation off")
            << "running" << false << false << "not synchronised (automatic synchronisation is off)";
        QTest::newRow("no time service") << "absent" << false << false << "unknown: ";
        QTest::newRow("no bus") << "no bus" << false << false << "unknown: no system bus";
    }

    void theClockHealthIsWhatTheTimeServiceSays()
    {
        QFETCH(QString, service);
        QFETCH(bool, ntp);
        QFETCH(bool, synchronised);
        QFETCH(QString, text);
        m_bus->setRunning(service == QLatin1String("running"));
        m_bus->service.ntp = ntp;
        m_bus->service.ntpSynchronized = synchronised;
        const SystemClockHealth health(QDBusConnection(service == QLatin1String("no bus")
                                                           ? QStringLiteral("never connected")
                                                           : QStringLiteral("client")));
        std::optional<ClockHealth::Reading> reading;
        health.read([&](const ClockHealth::Reading &answer) { reading = answer; });
        QTRY_VERIFY(reading);
        QVERIFY2(reading->text().startsWith(text), qPrintable(reading->text()));
    }
};

QTEST_GUILESS_MAIN(TestSystemClockSetter)
#include "tst_systemclocksetter.moc"
