#include "ShellFixture.h"

#include "controls/xpPages.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

ShellFixture::ShellFixture(SleepInhibitor *inhibitor, const QString &location)
    : platform{clock,
               clockSetter,
               boxes,
               fileDialog,
               soundOutputs,
               formats,
               [this] {
                   auto player = std::make_unique<FakeMediaPlayer>();
                   players.append(player.get());
                   return player;
               },
               programFolder.path(),
               inhibitor ? *inhibitor : sleepInhibitor,
               clockHealth},
      data(location.isEmpty() ? db.path() : location, TDataModule1::Mode::ReadWrite,
           db.dataFolder()),
      shell(platform, data)
{}

ShellFixture::~ShellFixture() = default;

TFrm_main *ShellFixture::start()
{
    TFrm_main *main = shell.create(shell.Frm_main);
    waitForLoad(main);
    return main;
}

void ShellFixture::waitForLoad(const TFrm_main *main)
{
    // A server's values arrive by a queued call, after at most the read's
    // deadline, a retry and the local copy's read: long on a busy machine.
    if (!QTest::qWaitFor([main] { return !main->isLoading(); }, 60'000))
        qFatal("the main window's load did not arrive");
}

TFrm_Subject *ShellFixture::waitForLoad(TFrm_Subject *run)
{
    const QPointer<TFrm_Subject> watched(run);
    if (!QTest::qWaitFor([watched] { return !watched || !watched->isLoading(); }, 60'000))
        qFatal("the run window's subject did not arrive");
    return watched;
}

void ShellFixture::listen()
{
    watch = std::make_unique<ScheduleWatch>(*data.link());
    shell.follow(*watch);
}

TFrm_validate *ShellFixture::openGate()
{
    QTest::mouseClick(shell.Frm_main->FBtn_sa, Qt::LeftButton);
    return shell.Frm_validate;
}

TFrm_sa *ShellFixture::openConsole()
{
    TFrm_validate *gate = openGate();
    gate->MaskEdit1->setText(QStringLiteral("50716283941"));
    QTest::mouseClick(gate->Fbtn_ok, Qt::LeftButton);
    settle();
    return shell.Frm_sa;
}

void ShellFixture::chooseTab(TFrm_sa *console, int index)
{
    TxpPageControl *tabs = console->PageControl1;
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabItemRect(index).center());
}

void ShellFixture::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
