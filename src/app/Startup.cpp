#include "app/Startup.h"

#include "app/Application.h"
#include "app/Shell.h"
#include "data/ServerAddress.h"
#include "data/SoundCache.h"
#include "data/SoundFetcher.h"
#include "data/TDataModule1.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/Settings.h"
#include "platform/SystemClockHealth.h"
#include "platform/SystemClockSetter.h"
#include "platform/SystemSleepInhibitor.h"
#include "platform/widgets/QtFileDialog.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "run/RunLog.h"
#include "run/SoundDevice.h"
#include "ui/main/TFrm_main.h"

int runTessivox(int argc, char **argv)
{
    Application app(argc, argv);
    const Settings settings = Settings::read();
    for (const QString &problem : settings.problems)
        qWarning("Tessivox: %s", qUtf8Printable(problem));

    SystemClock clock;
    SystemClockSetter clockSetter(clock);
    QtMessageBoxes messageBoxes;
    QtFileDialog fileDialog;
    SystemSoundOutputs soundOutputs;
    const RegionalFormats formats;
    SystemSleepInhibitor sleepInhibitor;
    const SystemClockHealth clockHealth;
    Platform platform{clock,
                      clockSetter,
                      messageBoxes,
                      fileDialog,
                      soundOutputs,
                      formats,
                      [] { return std::make_unique<SoundDevice>(); },
                      QCoreApplication::applicationDirPath(),
                      sleepInhibitor,
                      clockHealth,
                      settings.screen};

    TDataModule1 data(settings.database);
    std::unique_ptr<RoomReporter> reporter;
    std::unique_ptr<SoundFetcher> sounds;
    if (ServerAddress::isServer(settings.database)) {
        reporter = std::make_unique<RoomReporter>(
            RoomReporter::Room{settings.database, settings.room, QStringLiteral(TESSIVOX_VERSION),
                               RunLog::folderIn(data.dataFolder()), settings.clockLimitMs},
            clock);
        sounds = std::make_unique<SoundFetcher>(
            SoundFetcher::Room{settings.database, SoundCache::folderIn(data.dataFolder()),
                               Platform::soundFolderOf(platform.programFolder)});
        QObject::connect(sounds.get(), &SoundFetcher::progress, reporter.get(),
                         &RoomReporter::setSoundFiles, Qt::DirectConnection);
    }
    int code = 0;
    {
        Shell shell(platform, data);
        shell.reporter = reporter.get();
        shell.sounds = sounds.get();
        app.setErrorHandler(&shell.errors);
        QObject::connect(&shell, &Shell::terminated, &app, &QCoreApplication::quit);

        TFrm_main *main = shell.create(shell.Frm_main);
        main->centreOnScreen();
        main->show();
        main->activateWindow();
        code = app.exec();
        app.setErrorHandler(nullptr);
    }
#if !TESSIVOX_SOUND_PULSEAUDIO
    TMediaPlayer::settleBeforeExit();
#endif
    return code;
}
