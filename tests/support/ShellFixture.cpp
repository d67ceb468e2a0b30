#include "ShellFixture.h"

#include "ui/main/TFrm_main.h"

#include <QCoreApplication>
#include <QEvent>

ShellFixture::ShellFixture(SleepInhibitor *inhibitor)
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
               inhibitor ? *inhibitor : sleepInhibitor},
      data(db.path()), shell(platform, data)
{}

ShellFixture::~ShellFixture() = default;

TFrm_main *ShellFixture::start()
{
    return shell.create(shell.Frm_main);
}

void ShellFixture::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
