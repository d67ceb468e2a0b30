#include "app/Startup.h"

#include "app/AccessOffer.h"
#include "app/Application.h"
#include "app/RoomAnnouncements.h"
#include "app/Shell.h"
#include "data/AccessFile.h"
#include "schedule/ScheduleWatch.h"
#include "data/ServerAddress.h"
#include "data/SoundCache.h"
#include "data/TDataModule1.h"
#include "office/PcIdentity.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/Settings.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClockHealth.h"
#include "platform/SystemClockSetter.h"
#include "platform/SystemSleepInhibitor.h"
#include "platform/widgets/QtFileDialog.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "run/RunLog.h"
#include "run/SoundDevice.h"
#include "schedule/SoundFetcher.h"
#include "ui/main/TFrm_main.h"

#include <QDir>

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
    SingleInstance instance(data.dataFolder());
    if (!instance.claim()) {
        messageBoxes.show(nullptr,
                          instance.error().isEmpty()
                              ? QStringLiteral("Tessivox 已在运行，使用同一数据文件夹（%1），"
                                               "已切换到它的窗口。")
                                    .arg(QDir(data.dataFolder()).absolutePath())
                              : QStringLiteral("无法锁定数据文件夹，Tessivox 不能启动。\n%1")
                                    .arg(instance.error()),
                          QStringLiteral("Tessivox"), MessageBoxes::Buttons::Ok,
                          MessageBoxes::Icon::Information);
        return 1;
    }
    if (const QString warning = instance.warning(); !warning.isEmpty()) {
        qWarning("Tessivox: %s", qUtf8Printable(warning));
        messageBoxes.notice(nullptr, warning);
    }
    QObject::connect(&instance, &SingleInstance::raiseRequested, [] {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->isVisible()) {
                window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
                window->raise();
                window->activateWindow();
            }
    });
    const bool server = ServerAddress::isServer(settings.database);
    if (const QString problem = RoomReporter::nameProblem(settings.room);
        server && !problem.isEmpty()) {
        messageBoxes.show(nullptr, problem, QStringLiteral("Tessivox"), MessageBoxes::Buttons::Ok,
                          MessageBoxes::Icon::Error);
        return 2;
    }
    if (!server && AccessFile::format(settings.database) != AccessFile::Format::None)
        offerAccessImport(messageBoxes, settings.database,
                          Platform::soundFolderOf(platform.programFolder));
    // The reporter shares the windows' link: a room keeps one connection.
    // Ended before the data module, it stops the link, so that the exit
    // waits for no server.
    std::unique_ptr<RoomReporter> reporter;
    std::unique_ptr<ScheduleWatch> watch;
    // The fetcher has a link of its own, stopped as it ends: the exit waits
    // for no download.
    std::unique_ptr<SoundFetcher> sounds;
    if (server) {
        RoomReporter::Room room{settings.database, settings.room, QStringLiteral(TESSIVOX_VERSION),
                                RunLog::folderIn(data.dataFolder()), settings.clockLimitMs};
        const PcIdentity pc = PcIdentity::of(data.dataFolder());
        room.pcId = pc.id;
        room.pcHost = pc.host;
        reporter = std::make_unique<RoomReporter>(room, clock, data.link());
        QObject::connect(
            reporter.get(), &RoomReporter::nameTaken, &app,
            [&messageBoxes](const QString &message) { messageBoxes.notice(nullptr, message); });
        watch = std::make_unique<ScheduleWatch>(*data.link());
        sounds = std::make_unique<SoundFetcher>(
            SoundFetcher::Room{settings.database, SoundCache::folderIn(data.dataFolder()),
                               Platform::soundFolderOf(platform.programFolder)});
        QObject::connect(sounds.get(), &SoundFetcher::progress, reporter.get(),
                         &RoomReporter::setSoundFiles, Qt::DirectConnection);
        // The office learns why this room's recordings do not arrive.
        QObject::connect(sounds.get(), &SoundFetcher::failed, reporter.get(),
                         [&clock, to = reporter.get()](const QString &reason) {
                             to->record({.at = clock.now(),
                                         .kind = QStringLiteral("sound files failed"),
                                         .reason = reason});
                         });
    }
    int code = 0;
    {
        Shell shell(platform, data);
        shell.reporter = reporter.get();
        shell.sounds = sounds.get();
        if (watch)
            shell.follow(*watch);
        // Gone before the shell, whose windows it reaches.
        std::unique_ptr<RoomAnnouncements> announcements;
        if (server)
            announcements = std::make_unique<RoomAnnouncements>(
                shell, *data.link(), RoomAnnouncements::Room{settings.room, data.dataFolder()});
        shell.announcements = announcements.get();
        app.setErrorHandler(&shell.errors);
        QObject::connect(&shell, &Shell::terminated, &app, &QCoreApplication::quit);

        TFrm_main *main = shell.create(shell.Frm_main);
        main->centreOnScreen();
        main->show();
        main->activateWindow();
        code = app.exec();
        app.setErrorHandler(nullptr);
    }
    return code;
}
