#include "app/Startup.h"

#include "app/Application.h"
#include "app/Shell.h"
#include "data/ServerAddress.h"
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
    // The reporter shares the windows' link: a room keeps one connection.
    // Ended before the data module, it stops the link, so that the exit
    // waits for no server.
    std::unique_ptr<RoomReporter> reporter;
    if (ServerAddress::isServer(settings.database))
        reporter = std::make_unique<RoomReporter>(
            RoomReporter::Room{settings.database, settings.room, QStringLiteral(TESSIVOX_VERSION),
                               RunLog::folderIn(data.dataFolder()), settings.clockLimitMs},
            clock, data.link());
    int code = 0;
    {
        Shell shell(platform, data);
        shell.reporter = reporter.get();
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
