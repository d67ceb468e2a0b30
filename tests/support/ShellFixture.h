#pragma once

#include "FakeClock.h"
#include "FakeClockHealth.h"
#include "FakeClockSetter.h"
#include "FakeFileDialog.h"
#include "FakeMediaPlayer.h"
#include "FakeMessageBoxes.h"
#include "FakeSleepInhibitor.h"
#include "FakeSoundOutputs.h"
#include "TestDatabase.h"

#include "app/Shell.h"
#include "data/TDataModule1.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "schedule/CopyStandIn.h"
#include "schedule/ScheduleWatch.h"

#include <QList>
#include <QTemporaryDir>

// The whole program as the windows see it, on fakes for the platform and a
// real database file in a temporary folder. The sound players the run
// window creates are kept in players (they live as long as their window).
struct ShellFixture
{
    // The fake sleep inhibitor stands in unless another one is given; the
    // program reads db unless given another location (a server's URI).
    explicit ShellFixture(SleepInhibitor *inhibitor = nullptr, const QString &location = {});
    ~ShellFixture();
    Q_DISABLE_COPY_MOVE(ShellFixture)

    // Creates the main window as start-up does, and waits for its load's
    // values, which come from a server by a queued call.
    TFrm_main *start();
    static void waitForLoad(const TFrm_main *main);
    // The same for the run window's subject; none when the run did not open.
    static TFrm_Subject *waitForLoad(TFrm_Subject *run);
    // From the started main window: "管理员" opens the password gate.
    TFrm_validate *openGate();
    // Through the gate with the right password, to the console.
    TFrm_sa *openConsole();
    // Changes the console's page as the user does: a click on its tab.
    static void chooseTab(TFrm_sa *console, int index);
    // The windows follow the server's notices of schedule changes, as the
    // program on a server does.
    void listen();
    // Runs the deferred destructions of released windows.
    static void settle();
    // The room's local copy of its server's schedule.
    LocalCopy &localCopy() { return shell.standIn->copy(); }

    TestDatabase db;
    FakeClock clock;
    FakeClockSetter clockSetter;
    FakeMessageBoxes boxes;
    FakeFileDialog fileDialog;
    FakeSoundOutputs soundOutputs;
    RegionalFormats formats{QLocale(QLocale::Chinese, QLocale::China)};
    QList<FakeMediaPlayer *> players;
    QTemporaryDir programFolder;
    FakeSleepInhibitor sleepInhibitor;
    FakeClockHealth clockHealth;
    Platform platform;
    TDataModule1 data;
    std::unique_ptr<ScheduleWatch> watch;
    Shell shell;
};
