#include "app/Shell.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "data/TDataModule1.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "schedule/CopyStandIn.h"
#include "schedule/ScheduleWatch.h"

Shell::Shell(Platform &platform, TDataModule1 &data)
    : platform(platform), data(data),
      standIn(data.link() ? std::make_unique<CopyStandIn>(data) : nullptr),
      errors(platform.messageBoxes)
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

void Shell::follow(ScheduleWatch &watch)
{
    m_watch = &watch;
    connect(&watch, &ScheduleWatch::changed, this, &Shell::scheduleChanged);
}

void Shell::scheduleChanged(qint64 writer)
{
    // The console's and the editor's own saves are no news to them.
    if (writer != 0 && (writer == data.serverProcess() || (m_watch && m_watch->isOwn(writer))))
        return;
    QWidget *admin = Frm_config ? static_cast<QWidget *>(Frm_config.data()) : Frm_sa.data();
    if (writer != 0 && admin && admin->isVisible())
        platform.messageBoxes.notice(
            admin,
            QStringLiteral("服务器上的考试安排已在别处修改，本窗口显示的仍是打开时读取的内容。"));
    if (Frm_Subject)
        Frm_Subject->followServer();
    else if (Frm_main && Frm_main->isEnabled())
        Frm_main->refill();
}

void Shell::ownWrites(qint64 serverProcess)
{
    if (m_watch)
        m_watch->ownWrites(serverProcess);
}

void Shell::release(QWidget *window)
{
    window->deleteLater();
}

void Shell::terminate()
{
    emit terminated();
}
