#include "platform/SystemClockHealth.h"

#include "support/TimeServiceBus.h"

#include <QTest>
#include <optional>

class TestClockHealth : public QObject
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

    void saysWhatTheTimeServiceSays_data()
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

    void saysWhatTheTimeServiceSays()
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

QTEST_GUILESS_MAIN(TestClockHealth)
#include "tst_clockhealth.moc"
