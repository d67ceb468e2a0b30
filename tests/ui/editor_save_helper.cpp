// Saves a long instruction list through the real editor into the database
// named on the command line, so that a test can kill it half-way:
//
//   editor_save_helper DATABASE SUBJECT COUNT
//
// The list becomes COUNT rows "new-<i>.wav", one second apart from 00:00:00.
// Prints "saved" once the save has returned; a failure exits with 1.

#include "support/FakeClock.h"
#include "support/FakeClockHealth.h"
#include "support/FakeClockSetter.h"
#include "support/FakeFileDialog.h"
#include "support/FakeMediaPlayer.h"
#include "support/FakeMessageBoxes.h"
#include "support/FakeSleepInhibitor.h"
#include "support/FakeSoundOutputs.h"
#include "support/OpenEditor.h"

#include "app/Shell.h"
#include "data/TDataModule1.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "ui/admin/TFrm_config.h"
#include "ui/common/InstructionList.h"

#include <QApplication>
#include <QTreeWidget>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 4) {
        std::fputs("usage: editor_save_helper DATABASE SUBJECT COUNT\n", stderr);
        return 2;
    }
    FakeClock clock;
    FakeClockSetter clockSetter;
    FakeMessageBoxes boxes;
    FakeFileDialog fileDialog;
    FakeSoundOutputs soundOutputs;
    FakeSleepInhibitor sleepInhibitor;
    const FakeClockHealth clockHealth;
    const RegionalFormats formats{QLocale(QLocale::Chinese, QLocale::China)};
    Platform platform{clock,
                      clockSetter,
                      boxes,
                      fileDialog,
                      soundOutputs,
                      formats,
                      [] { return std::make_unique<FakeMediaPlayer>(); },
                      QCoreApplication::applicationDirPath(),
                      sleepInhibitor,
                      clockHealth};
    TDataModule1 data(arguments[1]);
    Shell shell(platform, data);

    TFrm_config *editor = openEditor(shell, arguments[2]);
    editor->ListView1->clear();
    const int count = arguments[3].toInt();
    for (int i = 0; i < count; ++i)
        InstructionList::append(editor->ListView1, QStringLiteral("new-%1.wav").arg(i),
                                QStringLiteral("说明 %1").arg(i), QTime(0, 0).addSecs(i), formats);
    shell.errors.guard([editor] { editor->FBtn_okClick(); });
    for (const FakeMessageBoxes::Shown &box : boxes.shown) {
        if (box.icon == MessageBoxes::Icon::Error) {
            std::fprintf(stderr, "%s\n", qPrintable(box.text));
            return 1;
        }
    }
    std::puts("saved");
    return 0;
}
