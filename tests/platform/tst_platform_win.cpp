#include "support/FakeClock.h"

#include "platform/PreciseWait.h"
#include "platform/SystemClockHealth.h"
#include "platform/SystemClockSetter.h"
#include "platform/SystemSleepInhibitor.h"
#include "platform/ThreadPriority.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include <windows.h>

namespace {

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

ClockSetter::Outcome setWith(const SystemClockSetter::SetLocalTime &set, const QDateTime &value)
{
    const FakeClock clock;
    SystemClockSetter setter(clock, set);
    std::optional<ClockSetter::Outcome> outcome;
    setter.setLocalTime(value, [&](const ClockSetter::Outcome &answer) { outcome = answer; });
    return outcome.value_or(ClockSetter::Outcome{false, QStringLiteral("no answer")});
}

const QString WhatToDo = QStringLiteral("以管理员身份运行");

std::atomic<int> accessViolations{0};

LONG CALLBACK countAccessViolation(EXCEPTION_POINTERS *info)
{
    if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
        ++accessViolations;
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

// The Windows implementations of the platform's seams, on the system's own
// calls (under Wine where the tests run on Linux).
class tst_PlatformWin : public QObject
{
    Q_OBJECT

private slots:
    // A refusal tells the user what to do about it, in Chinese.
    void aClockChangeIsAnsweredAsWindowsAnswers_data()
    {
        QTest::addColumn<unsigned long>("error");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("said");
        QTest::newRow("set") << 0UL << true << QString();
        QTest::newRow("privilege not held") << ulong(ERROR_PRIVILEGE_NOT_HELD) << false << WhatToDo;
        QTest::newRow("access denied") << ulong(ERROR_ACCESS_DENIED) << false << WhatToDo;
        QTest::newRow("other") << ulong(ERROR_INVALID_PARAMETER) << false
                               << QStringLiteral("error 87");
    }
    void aClockChangeIsAnsweredAsWindowsAnswers()
    {
        QFETCH(unsigned long, error);
        QDateTime asked;
        const QDateTime value(QDate(2026, 6, 7), QTime(8, 0, 0, 250));
        const ClockSetter::Outcome outcome = setWith(
            [&](const QDateTime &v) {
                asked = v;
                return error;
            },
            value);
        QCOMPARE(asked, value);
        QTEST(outcome.ok, "ok");
        QFETCH(QString, said);
        QVERIFY2(outcome.error.contains(said), qPrintable(outcome.error));
    }

    // Through the system's own call, with the privilege switched on: Wine
    // takes a time within a second of its own (and changes nothing) and
    // refuses any other as an ordinary account is refused.
    void theSystemSetsOrRefusesWithTheReason()
    {
        if (!underWine())
            QSKIP("would set this PC's clock");
        const QDateTime now = QDateTime::currentDateTime();
        const ClockSetter::Outcome same = setWith(SystemClockSetter::setWithPrivilege, now);
        QVERIFY2(same.ok, qPrintable(same.error));
        const ClockSetter::Outcome later =
            setWith(SystemClockSetter::setWithPrivilege, now.addSecs(3600));
        QVERIFY(!later.ok);
        QVERIFY2(later.error.contains(WhatToDo), qPrintable(later.error));
    }

    void theClockHealthIsWhatTheTimeServiceSettingsSay_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::newRow("no settings") << QString() << "unknown: no Windows time service settings";
        QTest::newRow("never synchronises")
            << "NoSync"
            << "not synchronised (automatic synchronisation is off)";
        QTest::newRow("from the internet")
            << "NTP"
            << "unknown: Windows does not say when its time service (NTP) last synchronised "
               "the clock";
        QTest::newRow("from the domain")
            << "NT5DS"
            << "unknown: Windows does not say when its time service (NT5DS) last synchronised "
               "the clock";
    }
    void theClockHealthIsWhatTheTimeServiceSettingsSay()
    {
        QFETCH(QString, type);
        const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tessivox tests\\W32Time");
        QSettings(key, QSettings::NativeFormat).remove(QString());
        if (!type.isEmpty())
            QSettings(key, QSettings::NativeFormat).setValue(QStringLiteral("Type"), type);
        std::optional<QString> text;
        SystemClockHealth(key).read([&](const ClockHealth::Reading &r) { text = r.text(); });
        QSettings(key, QSettings::NativeFormat).remove(QString());
        QTEST(text.value_or(QStringLiteral("no answer")), "text");
    }

    // The PC stays awake exactly while the hold is kept.
    void aRunKeepsThePcAwakeUntilItEnds()
    {
        SystemSleepInhibitor inhibitor;
        auto hold = inhibitor.keepAwake(QStringLiteral("exam"));
        QVERIFY2(hold->refusal().isEmpty(), qPrintable(hold->refusal()));
        // Each call answers the state before it; the test's own put back.
        const EXECUTION_STATE during = SetThreadExecutionState(ES_CONTINUOUS);
        SetThreadExecutionState(during);
        QCOMPARE(during & (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED),
                 EXECUTION_STATE(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED));
        hold.reset();
        const EXECUTION_STATE after = SetThreadExecutionState(ES_CONTINUOUS);
        QCOMPARE(after & (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED), EXECUTION_STATE(0));
    }

    // Time-critical around a second only, then back to where it was raised.
    void theSecondsThreadIsTimeCriticalOnlyAroundTheSecond()
    {
        QCOMPARE(ThreadPriority::raiseCurrent(), QString());
        QCOMPARE(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
        ThreadPriority::realtimeCurrent(true);
        QCOMPARE(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
        ThreadPriority::realtimeCurrent(true);
        ThreadPriority::realtimeCurrent(false);
        QCOMPARE(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
        ThreadPriority::lowerCurrent();
        QCOMPARE(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    }

    // The server link, the sound fetcher and the run log match text on
    // threads that end before the program does; the end of such a thread
    // must leave nothing behind that the program's own end then waits on.
    void threadsThatMatchedTextEndCleanly()
    {
        void *handler = AddVectoredExceptionHandler(1, countAccessViolation);
        for (int round = 0; round < 8; ++round) {
            std::vector<std::unique_ptr<QThread>> threads;
            for (int i = 0; i < 8; ++i) {
                threads.emplace_back(QThread::create([] {
                    static const QRegularExpression time(QStringLiteral("^(\\d\\d):(\\d\\d)$"));
                    QVERIFY(time.match(QStringLiteral("08:30")).hasMatch());
                }));
                threads.back()->start();
            }
            for (auto &thread : threads)
                QVERIFY(thread->wait(QDeadlineTimer(10'000)));
        }
        RemoveVectoredExceptionHandler(handler);
        QCOMPARE(accessViolations.load(), 0);
    }

    // The last wait before a second is slept through, never short of it;
    // what the event loop's timers would round is left to this.
    void theLastWaitIsNeverShort()
    {
        QVERIFY(PreciseWait::sleptBelowMs() > 15);
        PreciseWait::fineResolution(true);
        for (const qint64 ms : {1, 3, 8}) {
            QElapsedTimer slept;
            slept.start();
            PreciseWait::sleepMs(ms);
            QVERIFY2(slept.nsecsElapsed() >= ms * 1'000'000 - 100'000,
                     qPrintable(QString::number(slept.nsecsElapsed())));
        }
        PreciseWait::fineResolution(false);
    }
};

QTEST_GUILESS_MAIN(tst_PlatformWin)
#include "tst_platform_win.moc"
