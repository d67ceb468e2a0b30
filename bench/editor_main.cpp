// Times the instruction editor on a real database file with 1,000
// instructions: "完成" (the save with the console's list refreshed) and
// reopening the editor from the console (load, show and first paint).
// Prints the median of several runs of each; asserts nothing.

#include "support/OpenEditor.h"
#include "support/ShellFixture.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/common/InstructionList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Instructions = 1000;
constexpr int Runs = 7;
const QString Subject = QStringLiteral("语文");

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Step> double milliseconds(Step &&step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

void fill(TFrm_config *editor, const ShellFixture &f, int run)
{
    editor->ListView1->clear();
    for (int i = 0; i < Instructions; ++i)
        InstructionList::append(editor->ListView1, QStringLiteral("r%1-%2.wav").arg(run).arg(i),
                                QStringLiteral("第%1条\r\n说明").arg(i), QTime(8, 0).addSecs(7 * i),
                                f.formats);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ShellFixture f;
    f.db.addSubject(Subject, QStringLiteral("2026-06-07 09:00:00"),
                    QStringLiteral("2026-06-07 11:00:00"));
    TFrm_config *editor = openEditor(f.shell, Subject);
    TFrm_sa *console = f.shell.Frm_sa;

    QList<double> saves;
    QList<double> loads;
    for (int run = 0; run < Runs; ++run) {
        fill(editor, f, run);
        saves << milliseconds([editor] { editor->FBtn_okClick(); });
        ShellFixture::settle();
        loads << milliseconds([console] {
            console->Fbtn_enterClick();
            QCoreApplication::processEvents();
        });
        editor = f.shell.Frm_config;
        if (!editor || editor->ListView1->topLevelItemCount() != Instructions) {
            std::fprintf(stderr, "editor: the saved list did not come back: %s\n",
                         qPrintable(f.boxes.texts().join(QLatin1Char('\n'))));
            return 1;
        }
    }
    std::printf("save_%d_ms %.1f\nload_%d_ms %.1f\n", Instructions, median(saves), Instructions,
                median(loads));
    return 0;
}
