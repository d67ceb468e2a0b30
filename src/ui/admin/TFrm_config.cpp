#include "ui/admin/TFrm_config.h"

#include "data/Statements.h"
#include "data/TDataModule1.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/common/InstructionList.h"

#include <QPushButton>
#include <QTreeWidget>

TFrm_config::TFrm_config(Shell &shell)
    : Form(shell, QStringLiteral("语音指令设置"), QSize(409, 353), TitleButtons::CloseOnly),
      ListView1(new QTreeWidget(this)), FBtn_ok(new QPushButton(QStringLiteral("完成"), this)),
      Fbtn_quit(new QPushButton(QStringLiteral("返回"), this))
{
    ListView1->setGeometry(8, 8, 393, 150);
    InstructionList::setUp(ListView1, {QStringLiteral("语音文件"), QStringLiteral("说明"),
                                       QStringLiteral("播放时间")});
    FBtn_ok->setGeometry(230, 318, 75, 25);
    Fbtn_quit->setGeometry(318, 318, 75, 25);

    on(FBtn_ok, &QPushButton::clicked, &TFrm_config::FBtn_okClick);
    on(Fbtn_quit, &QPushButton::clicked, &TFrm_config::Fbtn_quitClick);
}

QString TFrm_config::subject() const
{
    return m_shell.Frm_sa->selectedSubject();
}

void TFrm_config::FormCreate()
{
    Query &query = m_shell.data.ADOQuery12;
    query.replace(Statements::selectSounds(subject()));
    query.open();
    if (query.recordCount() == 0)
        return;
    query.replace(Statements::selectSoundsByPlaytime(subject()));
    query.open();
    InstructionList::fill(ListView1, query, m_shell.platform.formats);
}

void TFrm_config::FBtn_okClick()
{
    const QString name = subject();
    TDataModule1 &data = m_shell.data;
    const int count = ListView1->topLevelItemCount();
    // All or nothing: a failure half-way must not leave the subject with
    // part of its instructions deleted.
    data.transaction([&] {
        data.ADOQuery11.replace(Statements::deleteSounds(name));
        data.ADOQuery11.execute();
        for (int i = 0; i < count; ++i) {
            const QTreeWidgetItem *row = ListView1->topLevelItem(i);
            data.ADOQuery11.replace(Statements::insertSound(name, row->text(0), row->text(1),
                                                            InstructionList::playtime(row)));
            data.ADOQuery11.execute();
        }
    });
    m_shell.Frm_sa->setEnabled(true);
    m_shell.Frm_sa->activateWindow();
    refreshlistview_subject();
    m_shell.platform.messageBoxes.inform(this, QStringLiteral("一共修改了%1条记录").arg(count));
    m_shell.release(this);
}

void TFrm_config::refreshlistview_subject()
{
    Query &query = m_shell.data.ADOQuery6;
    query.replace(Statements::selectSoundsByPlaytime(subject()));
    query.open();
    m_shell.Frm_sa->showInstructions(query);
}

void TFrm_config::Fbtn_quitClick()
{
    m_shell.Frm_sa->setEnabled(true);
    m_shell.Frm_sa->activateWindow();
    m_shell.release(this);
}

void TFrm_config::FormClose()
{
    Fbtn_quitClick();
}
