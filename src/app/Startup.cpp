#include "app/Startup.h"

#include "app/Application.h"
#include "app/Shell.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/SystemClockHealth.h"
#include "platform/SystemClockSetter.h"
#include "platform/SystemSleepInhibitor.h"
#include "platform/widgets/QtFileDialog.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "run/SoundDevice.h"
#include "ui/main/TFrm_main.h"

int runTessivox(int argc, char **argv)
{
    Application app(argc, argv);

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
                      clockHealth};

    TDataModule1 data;
    int code = 0;
    {
        Shell shell(platform, data);
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
