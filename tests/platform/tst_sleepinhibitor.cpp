#include "support/ShellFixture.h"

#include "controls/TFlatComboBox.h"
#include "platform/SystemSleepInhibitor.h"
#include "platform/Timer.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <atomic>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

enum class Service
{
    Agrees,
    Refuses,
    // Takes the call and never answers, as a hung service does.
    Silent,
    Absent
};

// What the services heard: written in their thread, read in the test's.
class Heard
{
public:
    void add(const QString &call)
    {
        QMutexLocker lock(&m_mutex);
        m_calls << call;
    }
    QStringList calls()
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    // The login manager's end of the descriptor it handed out.
    std::atomic<int> blockEnd = -1;

private:
    QMutex m_mutex;
    QStringList m_calls;
};

// A service of the test's own: it tells what it heard, and may refuse. (Each
// service names its D-Bus context itself, or D-Bus would not find it.)
class TestService : public QObject
{
public:
    TestService(Heard &heard, Service answer)
        : m_heard(heard), m_refuses(answer == Service::Refuses), m_silent(answer == Service::Silent)
    {}

protected:
    Heard &m_heard;
    bool m_refuses;
    bool m_silent;
};

// Answers as the login manager does: a block lasts while the descriptor it
// returns is open somewhere.
class LoginManager final : public TestService, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    using TestService::TestService;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &,
                                    const QString &mode)
    {
        m_heard.add(QStringList{"Inhibit", what, who, mode}.join(' '));
        if (m_silent) {
            setDelayedReply(true);
            return {};
        }
        int ends[2];
        if (m_refuses || pipe(ends) != 0) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Permission denied"));
            return {};
        }
        m_heard.blockEnd = ends[0];
        const QDBusUnixFileDescriptor descriptor(ends[1]);
        close(ends[1]);
        return descriptor;
    }
};

class ScreenSaver final : public TestService, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    using TestService::TestService;

public slots:
    uint Inhibit(const QString &application, const QString &)
    {
        m_heard.add(QStringLiteral("Inhibit ") + application);
        if (m_refuses)
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                           QStringLiteral("Inhibition is not supported"));
        return 42;
    }
    void UnInhibit(uint cookie) { m_heard.add(QStringLiteral("UnInhibit %1").arg(cookie)); }
};

// A D-Bus daemon of the test's own with the two services on it, served from
// a thread of their own, since the inhibitor waits for their answers.
class PrivateBus
{
public:
    PrivateBus(Service login, Service screenSaver)
    {
        // Gone with the test, even when it crashes.
        m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                                       "--address=unix:dir=" + m_dir.path()});
        if (!m_daemon.waitForReadyRead(10000))
            return;
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address, "service");
        client = QDBusConnection::connectToBus(address, "client");
        offer(service, login, "org.freedesktop.login1", "/org/freedesktop/login1",
              new LoginManager(heard, login));
        offer(service, screenSaver, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
              new ScreenSaver(heard, screenSaver));
        m_thread.start();
    }
    ~PrivateBus()
    {
        client = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus("client");
        QDBusConnection::disconnectFromBus("service");
        m_thread.quit();
        m_thread.wait();
        qDeleteAll(m_services);
        if (heard.blockEnd >= 0)
            close(heard.blockEnd);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
    Q_DISABLE_COPY_MOVE(PrivateBus)

    bool isUp() const { return client.isConnected(); }
    // Whether the login manager's descriptor has been closed by everyone
    // it was handed to.
    bool blockReleased() const
    {
        pollfd end{heard.blockEnd, POLLIN, 0};
        return poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    }

    Heard heard;
    QDBusConnection client{QString()};

private:
    void offer(QDBusConnection &bus, Service answer, const QString &name, const QString &path,
               QObject *service)
    {
        m_services << service;
        service->moveToThread(&m_thread);
        if (answer != Service::Absent) {
            bus.registerObject(path, service, QDBusConnection::ExportAllSlots);
            bus.registerService(name);
        }
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QThread m_thread;
    QList<QObject *> m_services;
};

} // namespace

class TestSleepInhibitor : public QObject
{
    Q_OBJECT

private slots:
    void aRunKeepsThePcAwakeUntilItEnds_data()
    {
        QTest::addColumn<Service>("login");
        QTest::addColumn<Service>("screenSaver");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QStringList>("refusals");
        const QStringList none;
        QTest::newRow("both agree, stopped") << Service::Agrees << Service::Agrees << true << none;
        QTest::newRow("both agree, window closed")
            << Service::Agrees << Service::Agrees << false << none;
        QTest::newRow("no screen saver on the desktop")
            << Service::Agrees << Service::Absent << true << none;
        QTest::newRow("login manager refuses") << Service::Refuses << Service::Agrees << true
                                               << QStringList{"login manager: Permission denied"};
        QTest::newRow("screen saver refuses")
            << Service::Agrees << Service::Refuses << false
            << QStringList{"screen saver: Inhibition is not supported"};
        QTest::newRow("login manager never answers") << Service::Silent << Service::Agrees << true
                                                     << QStringList{"login manager: ", "reply"};
        QTest::newRow("no login manager")
            << Service::Absent << Service::Absent << true
            << QStringList{"login manager: ", "org.freedesktop.login1"};
    }
    void aRunKeepsThePcAwakeUntilItEnds()
    {
        QFETCH(Service, login);
        QFETCH(Service, screenSaver);
        QFETCH(bool, stopped);
        QFETCH(QStringList, refusals);
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QFAIL("dbus-daemon is missing (package dbus-daemon)");
        PrivateBus bus(login, screenSaver);
        QVERIFY2(bus.isUp(), "the private bus did not start");
        SystemSleepInhibitor inhibitor(bus.client, bus.client);
        ShellFixture f(&inhibitor);
        f.db.addSubject("语文", "2026-06-07 07:00:00", "2026-06-07 11:30:00");
        f.db.addSound("语文", "a.wav", "开始", "08:00:00");
        TFrm_main *main = f.start();
        main->show();
        main->ComboBox1->addItem("语文");
        main->ComboBox1->setCurrentIndex(main->ComboBox1->count() - 1);
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        TFrm_Subject *run = f.shell.Frm_Subject;

        QStringList inhibited;
        if (login != Service::Absent)
            inhibited << "Inhibit idle:sleep Tessivox block";
        if (screenSaver != Service::Absent)
            inhibited << "Inhibit Tessivox";
        // The run has started without waiting for the services' answers.
        QCOMPARE(run->Timer1->interval(), 10 * 60000);
        if (login == Service::Silent)
            QCOMPARE(run->sleepHold->refusal(), QString());
        QTRY_COMPARE(bus.heard.calls(), inhibited);
        // A refusal is kept for the record, and the run goes on regardless.
        const QString &refusal = run->sleepHold->refusal();
        QTRY_COMPARE(refusal.isEmpty(), refusals.isEmpty());
        for (const QString &part : refusals)
            QVERIFY2(refusal.contains(part), qPrintable(refusal));
        const bool blocked = login == Service::Agrees;
        if (blocked)
            QVERIFY(!bus.blockReleased());

        if (stopped)
            QTest::mouseClick(run->Fbtn_quit, Qt::LeftButton);
        else
            run->close();
        if (blocked)
            QTRY_VERIFY(bus.blockReleased());
        QStringList released = inhibited;
        if (screenSaver == Service::Agrees)
            released << "UnInhibit 42";
        QTRY_COMPARE(bus.heard.calls(), released);
        f.settle();
    }

    // The machine's own buses: skipped where there is no login manager.
    void aHoldIsListedByTheLoginManager()
    {
        QDBusConnection system = QDBusConnection::systemBus();
        if (!system.isConnected())
            QSKIP(qPrintable("no system bus: " + system.lastError().message()));
        if (!system.interface()->isServiceRegistered("org.freedesktop.login1"))
            QSKIP("no login manager on the system bus");
        SystemSleepInhibitor inhibitor;
        auto hold = inhibitor.keepAwake("test");
        if (hold->refusal().contains("login manager"))
            QSKIP(qPrintable("the login manager refused: " + hold->refusal()));
        QVERIFY(ourBlocks(system) > 0);
        hold.reset();
        QTRY_COMPARE(ourBlocks(system), 0);
    }

private:
    static int ourBlocks(QDBusConnection &system)
    {
        const QDBusMessage reply = system.call(
            QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "ListInhibitors"));
        int count = 0;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return -1;
        const auto list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint user = 0, process = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> user >> process;
            list.endStructure();
            if (process == uint(getpid()) && what == "idle:sleep" && mode == "block")
                ++count;
        }
        list.endArray();
        return count;
    }
};

QTEST_MAIN(TestSleepInhibitor)
#include "tst_sleepinhibitor.moc"
