#include "app/Shell.h"

#include "ui/run/TFrm_Subject.h"
#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/main/TFrm_main.h"

#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

Shell::Shell(Platform &platform, TDataModule1 &data)
    : platform(platform), data(data), errors(platform.messageBoxes)
{}

Shell::~Shell()
{
    // Secondary windows first: they may still reach the main window.
    delete Frm_Subject.data();
    delete Frm_config.data();
    delete Frm_sa.data();
    delete Frm_validate.data();
    delete Frm_main.data();
}

void Shell::release(QWidget *window)
{
    window->deleteLater();
}

void Shell::terminate()
{
    emit terminated();
}
