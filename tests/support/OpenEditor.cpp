#include "OpenEditor.h"

#include "app/Shell.h"
#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/main/TFrm_main.h"

#include "controls/xpPages.h"

#include <QListWidget>

TFrm_sa *chooseSubject(Shell &shell, const QString &subject)
{
    if (!shell.Frm_main)
        shell.create(shell.Frm_main)->show();
    TFrm_sa *console = shell.create(shell.Frm_sa);
    console->show();
    // As the user's change of page: that is what loads the subject list.
    console->PageControl1->setCurrentWidget(console->TabSheet3);
    console->PageControl1Change();
    const QList<QListWidgetItem *> found =
        console->Listbox_subject->findItems(subject, Qt::MatchExactly);
    if (found.isEmpty())
        qFatal("openEditor: no subject %s", qPrintable(subject));
    console->Listbox_subject->setCurrentItem(found.first());
    console->Listbox_subjectClick();
    return console;
}

TFrm_config *openEditor(Shell &shell, const QString &subject)
{
    chooseSubject(shell, subject)->Fbtn_enterClick();
    return shell.Frm_config;
}
