#include "ui/admin/TFrm_sa.h"

#include "data/Statements.h"
#include "data/TDataModule1.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/Timer.h"
#include "ui/admin/TFrm_config.h"
#include "ui/common/InstructionList.h"
#include "ui/main/TFrm_main.h"

#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

QWidget *page(QTabWidget *tabs, const QString &caption)
{
    auto *sheet = new QWidget;
    tabs->addTab(sheet, caption);
    return sheet;
}

QPushButton *exitButton(QWidget *sheet)
{
    auto *button = new QPushButton(QStringLiteral("退出"), sheet);
    button->setGeometry(410, 230, 75, 25);
    return button;
}

} // namespace

TFrm_sa::TFrm_sa(Shell &shell)
    : Form(shell, QStringLiteral("管理员界面"), QSize(520, 297)),
      PageControl1(new QTabWidget(this)),
      TabSheet1(page(PageControl1, QStringLiteral("系统时间设定"))),
      TabSheet2(page(PageControl1, QStringLiteral("系统名称设定"))),
      TabSheet3(page(PageControl1, QStringLiteral("考试科目编辑"))),
      TabSheet4(page(PageControl1, QStringLiteral("新增考试科目"))),
      Listbox_subject(new QListWidget(TabSheet3)), ListView1(new QTreeWidget(TabSheet3)),
      Fbtn_enter(new QPushButton(QStringLiteral("进入指令设置"), TabSheet3)),
      Button2(exitButton(TabSheet1)), Button3(exitButton(TabSheet2)),
      Button4(exitButton(TabSheet3)), Button5(exitButton(TabSheet4)), Timer1(new Timer(1000, this))
{
    PageControl1->setGeometry(0, 0, 520, 297);
    Listbox_subject->setGeometry(8, 8, 130, 210);
    ListView1->setGeometry(146, 8, 350, 210);
    InstructionList::setUp(ListView1, {QStringLiteral("播放文件"), QStringLiteral("播放说明"),
                                       QStringLiteral("播放时间")});
    Fbtn_enter->setGeometry(300, 230, 100, 25);
    Fbtn_enter->setEnabled(false);

    on(PageControl1, &QTabWidget::currentChanged, &TFrm_sa::PageControl1Change);
    on(Listbox_subject, &QListWidget::itemClicked, &TFrm_sa::Listbox_subjectClick);
    on(Fbtn_enter, &QPushButton::clicked, &TFrm_sa::Fbtn_enterClick);
    for (QPushButton *button : {Button2, Button3, Button4, Button5})
        on(button, &QPushButton::clicked, &TFrm_sa::ButtonExitClick);
}

void TFrm_sa::FormCreate()
{
    loadSubjects();
}

void TFrm_sa::PageControl1Change()
{
    loadSubjects();
}

void TFrm_sa::loadSubjects()
{
    Listbox_subject->clear();
    ListView1->clear();
    Fbtn_enter->setEnabled(false);
    Query &query = m_shell.data.ADOQuery4;
    query.replace(Statements::selectSubjectNames());
    query.open();
    const int count = query.recordCount();
    for (int i = 0; i < count; ++i) {
        Listbox_subject->addItem(query.text(QStringLiteral("subjectname")));
        query.next();
    }
}

QString TFrm_sa::selectedSubject() const
{
    const QListWidgetItem *item = Listbox_subject->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void TFrm_sa::Listbox_subjectClick()
{
    Query &query = m_shell.data.ADOQuery6;
    query.replace(Statements::selectSoundsByPlaytime(selectedSubject()));
    query.open();
    showInstructions(query);
    Fbtn_enter->setEnabled(true);
}

void TFrm_sa::showInstructions(Query &rows)
{
    InstructionList::fill(ListView1, rows, m_shell.platform.formats);
}

void TFrm_sa::Fbtn_enterClick()
{
    TFrm_config *editor = m_shell.create(m_shell.Frm_config);
    setEnabled(false);
    editor->centreOn(m_shell.Frm_main);
    editor->show();
    editor->activateWindow();
}

void TFrm_sa::ButtonExitClick()
{
    m_shell.Frm_main->setEnabled(true);
    m_shell.Frm_main->activateWindow();
    m_shell.release(this);
}

void TFrm_sa::FormClose()
{
    ButtonExitClick();
}
