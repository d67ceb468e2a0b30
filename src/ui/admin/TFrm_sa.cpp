#include "ui/admin/TFrm_sa.h"

#include "controls/xpPages.h"
#include "data/DbError.h"
#include "data/StoredTime.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/Timer.h"
#include "schedule/DataScheduleRepository.h"
#include "ui/admin/TFrm_config.h"
#include "ui/common/ClockSetting.h"
#include "ui/common/Controls.h"
#include "ui/common/Fonts.h"
#include "ui/common/InstructionList.h"
#include "ui/main/TFrm_main.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>

namespace {

using Controls::button;
using Controls::datePicker;
using Controls::label;
using Controls::pickedDateTime;
using Controls::timePicker;

// Every page's exit button stands in its bottom right corner, on tab 3
// straight on the sheet, elsewhere inside the sheet's group.
constexpr QPoint GroupPos(8, 6);
constexpr QPoint ExitPos(425, 216);

QGroupBox *group(QWidget *sheet, const QString &caption)
{
    auto *box = new QGroupBox(caption, sheet);
    box->setGeometry(QRect(GroupPos, QSize(500, 250)));
    return box;
}

QPushButton *exitButton(QWidget *parent, QPoint at)
{
    return button(parent, QStringLiteral("退出"), at.x(), at.y());
}

QLineEdit *edit(QWidget *parent, int x, int y, int width)
{
    auto *result = new QLineEdit(parent);
    result->setGeometry(x, y, width, 25);
    return result;
}

// The subject-editing page's Song face (12 pixels) where the system has it,
// otherwise the program's own face: a serif face of another family would set
// this one page apart from the rest of the program.
QFont songFace(QFont face)
{
    const QString family = Fonts::firstInstalled({QStringLiteral("SimSun")});
    if (!family.isEmpty())
        face.setFamily(family);
    face.setPixelSize(12);
    return face;
}

const QString Unreadable = QStringLiteral("无法读取");

// Shows a stored date-time in a date and a time picker; one that cannot be
// read shows as unreadable rather than as whatever the pickers held before.
// Returns whether it could be read.
bool showStored(const QString &stored, QDateEdit *date, QTimeEdit *time)
{
    const QDateTime value = StoredTime::toDateTime(stored);
    date->setDate(value.isValid() ? value.date() : date->minimumDate());
    time->setTime(value.isValid() ? value.time() : QTime(0, 0));
    return value.isValid();
}

QString storedText(const QString &stored)
{
    return stored.isEmpty() ? QStringLiteral("（空）") : QStringLiteral("“%1”").arg(stored);
}

// One guarded write: whether it changed any row. A statement the engine
// accepts but that changes nothing stored nothing either; the caller says
// so with its own fixed message, without the engine's text.
// A guarded write's answer: its fixed message, and when the database
// refused, why on a second line (a room's login on a centre's server may
// only read, and the administrator must learn that it is the server's no).
QString writeAnswer(const std::function<int()> &write, const QString &success,
                    const QString &failure)
{
    try {
        return write() > 0 ? success : failure;
    } catch (const DbError &error) {
        return failure + QLatin1Char('\n') + QString::fromStdString(error.what());
    }
}

} // namespace

TFrm_sa::TFrm_sa(Shell &shell)
    : Form(shell, QStringLiteral("管理员界面"), QSize(520, 297)),
      PageControl1(new TxpPageControl(this)),
      TabSheet1(PageControl1->addSheet(QStringLiteral("系统时间设定"))),
      TabSheet2(PageControl1->addSheet(QStringLiteral("系统名称设定"))),
      TabSheet3(PageControl1->addSheet(QStringLiteral("考试科目编辑"))),
      TabSheet4(PageControl1->addSheet(QStringLiteral("新增考试科目"))),

      GroupBox1(group(TabSheet1, QStringLiteral("系统时间设定"))),
      Label2(label(GroupBox1, QStringLiteral("现在系统时间："), 40, 50, 110)),
      Label1(label(GroupBox1, QStringLiteral("time"), 150, 50, 217)),
      DateTimePicker3(datePicker(GroupBox1, shell.platform.formats, 40, 100, 130)),
      DateTimePicker4(timePicker(GroupBox1, shell.platform.formats, 180, 100, 120)),
      FBtn_ok1(button(GroupBox1, QStringLiteral("设置"), 320, 100)),
      Button2(exitButton(GroupBox1, ExitPos - GroupPos)),

      GroupBox2(group(TabSheet2, QStringLiteral("系统名称设定"))),
      Lbl_systemname(label(GroupBox2, QStringLiteral("请输入系统名称："), 40, 50, 150)),
      Edt_name(edit(GroupBox2, 40, 76, 321)),
      o(button(GroupBox2, QStringLiteral("修改"), 196, 120)),
      Fbtn_repeat2(button(GroupBox2, QStringLiteral("重填"), 286, 120)),
      Button3(exitButton(GroupBox2, ExitPos - GroupPos)),

      Label8(label(TabSheet3, QStringLiteral("科目名称："), 8, 6, 113)),
      Listbox_subject(new QListWidget(TabSheet3)),
      Label9(label(TabSheet3, QStringLiteral("考试开始时间："), 130, 8, 88)),
      DateTimePickerStartdate(datePicker(TabSheet3, shell.platform.formats, 218, 6, 105)),
      DateTimePickerStarttime(timePicker(TabSheet3, shell.platform.formats, 327, 6, 84)),
      Label4(label(TabSheet3, QStringLiteral("考试结束时间："), 130, 36, 88)),
      DateTimePickerEnddate(datePicker(TabSheet3, shell.platform.formats, 218, 34, 105)),
      DateTimePickerEndtime(timePicker(TabSheet3, shell.platform.formats, 327, 34, 84)),
      FlatButton1(button(TabSheet3, QStringLiteral("修改考试时间"), 415, 20, 85)),
      ListView1(new QTreeWidget(TabSheet3)),
      Fbtn_enter(button(TabSheet3, QStringLiteral("进入指令设置"), 245, ExitPos.y(), 95)),
      Button1(button(TabSheet3, QStringLiteral("删除"), 345, ExitPos.y())),
      Button4(exitButton(TabSheet3, ExitPos)),

      GroupBox3(group(TabSheet4, QStringLiteral("新增考试科目"))),
      Label14(label(GroupBox3, QStringLiteral("科目名称："), 40, 42, 80)),
      Edt_subjectname(edit(GroupBox3, 120, 40, 250)),
      Label6(label(GroupBox3, QStringLiteral("开始时间："), 40, 87, 80)),
      DateTimePicker1(datePicker(GroupBox3, shell.platform.formats, 120, 85, 130)),
      DateTimePicker2(timePicker(GroupBox3, shell.platform.formats, 260, 85, 110)),
      Label3(label(GroupBox3, QStringLiteral("结束时间："), 40, 127, 80)),
      DateTimePicker5(datePicker(GroupBox3, shell.platform.formats, 120, 125, 130)),
      DateTimePicker6(timePicker(GroupBox3, shell.platform.formats, 260, 125, 110)),
      FBtn_ok(button(GroupBox3, QStringLiteral("增加"), 120, 170)),
      FlatButton2(button(GroupBox3, QStringLiteral("重填"), 210, 170)),
      Button5(exitButton(GroupBox3, ExitPos - GroupPos)),

      Timer1(new Timer(1000, this))
{
    PageControl1->setGeometry(0, 0, 520, 297);
    PageControl1->setStyle(pcsFlatButtons);
    PageControl1->setTabPosition(tpTop);
    PageControl1->setTabWidth(120);
    PageControl1->setBorderColor(clSkyBlue);
    PageControl1->setTabTextAlignment(taCenter);
    PageControl1->setShowHint(true);
    for (TxpTabSheet *sheet : {TabSheet1, TabSheet2, TabSheet3, TabSheet4}) {
        sheet->setColor(clBtnFace);
        sheet->setBGStyle(bgsNone);
    }

    TabSheet3->setFont(songFace(font()));
    Listbox_subject->setGeometry(8, 28, 113, 177);
    Listbox_subject->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setGeometry(130, 66, 370, 139);
    for (QDateEdit *date : {DateTimePickerStartdate, DateTimePickerEnddate})
        date->setSpecialValueText(Unreadable);
    // A time the user sets is a time chosen, however unreadable the stored
    // one was.
    for (QDateTimeEdit *picker :
         std::initializer_list<QDateTimeEdit *>{DateTimePickerStartdate, DateTimePickerStarttime})
        connect(picker, &QDateTimeEdit::dateTimeChanged, this, [this] { m_startUnread = false; });
    for (QDateTimeEdit *picker :
         std::initializer_list<QDateTimeEdit *>{DateTimePickerEnddate, DateTimePickerEndtime})
        connect(picker, &QDateTimeEdit::dateTimeChanged, this, [this] { m_endUnread = false; });
    InstructionList::setUp(ListView1, {QStringLiteral("播放文件"), QStringLiteral("播放说明"),
                                       QStringLiteral("播放时间")});
    enableSubjectControls(false);
    nameInputs();

    // The new-subject page starts from fixed values, not from today.
    DateTimePicker1->setDate(QDate(2005, 5, 9));
    DateTimePicker2->setTime(QTime(13, 44, 44));
    DateTimePicker5->setDate(QDate(2005, 5, 10));
    DateTimePicker6->setTime(QTime(13, 44, 19));

    on(Timer1, &Timer::timeout, &TFrm_sa::Timer1Timer);
    on(PageControl1, &TxpPageControl::Change, &TFrm_sa::PageControl1Change);
    on(PageControl1, &QTabWidget::currentChanged, [this] {
        if (PageControl1->currentWidget() == TabSheet2)
            TabSheet2Show();
    });
    on(FBtn_ok1, &QPushButton::clicked, &TFrm_sa::FBtn_ok1Click);
    on(o, &QPushButton::clicked, &TFrm_sa::oClick);
    on(Fbtn_repeat2, &QPushButton::clicked, &TFrm_sa::Fbtn_repeat2Click);
    // Emptying the list on a reload also ends the selection: that is no
    // choice of the user's.
    on(Listbox_subject, &QListWidget::itemSelectionChanged, [this] {
        if (hasSubject())
            Listbox_subjectClick();
    });
    on(FlatButton1, &QPushButton::clicked, &TFrm_sa::FlatButton1Click);
    on(Fbtn_enter, &QPushButton::clicked, &TFrm_sa::Fbtn_enterClick);
    on(Button1, &QPushButton::clicked, &TFrm_sa::Button1Click);
    on(FBtn_ok, &QPushButton::clicked, &TFrm_sa::FBtn_okClick);
    on(FlatButton2, &QPushButton::clicked, &TFrm_sa::FlatButton2Click);
    for (QPushButton *exit : {Button2, Button3, Button4, Button5})
        on(exit, &QPushButton::clicked, &TFrm_sa::ButtonExitClick);
}

void TFrm_sa::nameInputs()
{
    using Controls::name;
    name(DateTimePicker3, QStringLiteral("要设置的日期"));
    name(DateTimePicker4, QStringLiteral("要设置的时间"));
    name(Edt_name, Lbl_systemname);
    name(Listbox_subject, Label8);
    name(DateTimePickerStartdate, QStringLiteral("考试开始日期"));
    name(DateTimePickerStarttime, QStringLiteral("考试开始时间"));
    name(DateTimePickerEnddate, QStringLiteral("考试结束日期"));
    name(DateTimePickerEndtime, QStringLiteral("考试结束时间"));
    name(ListView1, QStringLiteral("语音指令"));
    name(Edt_subjectname, QStringLiteral("新增科目名称"));
    Label14->setBuddy(Edt_subjectname);
    name(DateTimePicker1, QStringLiteral("新增科目开始日期"));
    name(DateTimePicker2, QStringLiteral("新增科目开始时间"));
    name(DateTimePicker5, QStringLiteral("新增科目结束日期"));
    name(DateTimePicker6, QStringLiteral("新增科目结束时间"));
}

QPushButton *TFrm_sa::mainButton() const
{
    QWidget *page = PageControl1->currentWidget();
    return page == TabSheet1   ? FBtn_ok1
           : page == TabSheet2 ? o
           : page == TabSheet3 ? Fbtn_enter
                               : FBtn_ok;
}

void TFrm_sa::FormCreate()
{
    const QDateTime now = m_shell.platform.clock.now();
    DateTimePicker3->setDate(now.date());
    DateTimePicker4->setTime(now.time());
    // Chosen from code, so no tab change: the subject list stays empty until
    // the user first changes tabs.
    PageControl1->setCurrentWidget(TabSheet1);
    DateTimePicker3->setFocus();
    showClock();
}

void TFrm_sa::Timer1Timer()
{
    showClock();
}

void TFrm_sa::showClock()
{
    Label1->setText(m_shell.platform.formats.dateTime(m_shell.platform.clock.now()));
}

void TFrm_sa::FBtn_ok1Click()
{
    // One request at a time: each one answered late would step the clock
    // again.
    FBtn_ok1->setEnabled(false);
    ClockSetting::apply(m_shell, this, pickedDateTime(DateTimePicker3, DateTimePicker4),
                        [this] { FBtn_ok1->setEnabled(true); });
}

void TFrm_sa::TabSheet2Show()
{
    Edt_name->setText(DataScheduleRepository(m_shell.data).title());
}

void TFrm_sa::oClick()
{
    // Without a row with id 1 the update is accepted but stores nothing.
    m_shell.platform.messageBoxes.inform(
        this,
        writeAnswer([&] { return DataScheduleRepository(m_shell.data).setTitle(Edt_name->text()); },
                    QStringLiteral("修改成功"), QStringLiteral("修改错误")));
}

void TFrm_sa::Fbtn_repeat2Click()
{
    Edt_name->clear();
}

void TFrm_sa::PageControl1Change()
{
    reloadSubjects();
}

void TFrm_sa::reloadSubjects()
{
    Listbox_subject->clear();
    enableSubjectControls(false);
    Listbox_subject->addItems(DataScheduleRepository(m_shell.data).subjectNames());
}

void TFrm_sa::enableSubjectControls(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             Fbtn_enter, FlatButton1, DateTimePickerStartdate, DateTimePickerStarttime,
             DateTimePickerEnddate, DateTimePickerEndtime})
        control->setEnabled(enabled);
}

bool TFrm_sa::hasSubject() const
{
    return !Listbox_subject->selectedItems().isEmpty();
}

QString TFrm_sa::selectedSubject() const
{
    return hasSubject() ? Listbox_subject->selectedItems().constFirst()->text() : QString();
}

void TFrm_sa::Listbox_subjectClick()
{
    enableSubjectControls(true);
    const QString subject = selectedSubject();
    const Subject read = DataScheduleRepository(m_shell.data).subject(subject);
    const QString &start = read.startText;
    const QString &end = read.endText;
    const bool startRead = showStored(start, DateTimePickerStartdate, DateTimePickerStarttime);
    const bool endRead = showStored(end, DateTimePickerEnddate, DateTimePickerEndtime);
    m_startUnread = !startRead;
    m_endUnread = !endRead;
    QStringList unread;
    if (!startRead)
        unread << QStringLiteral("考试开始时间") + storedText(start);
    if (!endRead)
        unread << QStringLiteral("考试结束时间") + storedText(end);

    showInstructions(read.instructions);
    // Said over the chosen subject's page, not over the previous one's list.
    if (!unread.isEmpty())
        m_shell.platform.messageBoxes.inform(
            this, QStringLiteral("%1的%2无法读取，请设定后按“修改考试时间”。")
                      .arg(subject, unread.join(QStringLiteral("和"))));
}

void TFrm_sa::showInstructions(const QList<Instruction> &instructions)
{
    InstructionList::fill(ListView1, instructions, m_shell.platform.formats);
}

void TFrm_sa::FlatButton1Click()
{
    // The pickers of a time that could not be read hold no value of this
    // subject's: storing them would store what nobody chose.
    if (m_startUnread || m_endUnread) {
        m_shell.platform.messageBoxes.inform(this, QStringLiteral("修改失败\n请先设定%1")
                                                       .arg(m_startUnread
                                                                ? QStringLiteral("考试开始时间")
                                                                : QStringLiteral("考试结束时间")));
        return;
    }
    // A subject removed behind the console's back takes no new times.
    m_shell.platform.messageBoxes.inform(
        this,
        writeAnswer(
            [&] {
                return DataScheduleRepository(m_shell.data)
                    .setTimes(selectedSubject(),
                              pickedDateTime(DateTimePickerStartdate, DateTimePickerStarttime),
                              pickedDateTime(DateTimePickerEnddate, DateTimePickerEndtime));
            },
            QStringLiteral("修改成功！"), QStringLiteral("修改失败")));
}

void TFrm_sa::Fbtn_enterClick()
{
    // An editor holding part of the list would replace the stored rows with
    // that part on "完成".
    TFrm_config *editor = m_shell.createWhole(m_shell.Frm_config);
    if (!editor)
        return;
    setEnabled(false);
    editor->centreOn(m_shell.Frm_main);
    editor->show();
    editor->activateWindow();
}

void TFrm_sa::Button1Click()
{
    const QString question = QStringLiteral("是否删除？");
    if (m_shell.platform.messageBoxes.show(this, question, question,
                                           MessageBoxes::Buttons::OkCancel,
                                           MessageBoxes::Icon::None) != MessageBoxes::Answer::Ok)
        return;
    // A failed deletion shows nothing: the subject simply stays in the list.
    if (!hasSubject())
        return;
    try {
        DataScheduleRepository(m_shell.data).deleteSubject(selectedSubject());
        reloadSubjects();
        // Without the deleted subject's rows the columns fit the headers
        // again, not its longest explanation.
        ListView1->clear();
        InstructionList::fitColumns(ListView1);
    } catch (const DbError &) {
    }
}

void TFrm_sa::FBtn_okClick()
{
    MessageBoxes &boxes = m_shell.platform.messageBoxes;
    const QString name = Edt_subjectname->text();
    if (name.isEmpty()) {
        boxes.inform(this, QStringLiteral("请填写科目名称"));
        return;
    }
    DataScheduleRepository repository(m_shell.data);
    if (repository.subject(name).hasTestRow) {
        boxes.inform(this, QStringLiteral("此考试科目名已存在"));
        return;
    }
    boxes.inform(this, writeAnswer(
                           [&] {
                               return repository.addSubject(
                                   name, pickedDateTime(DateTimePicker1, DateTimePicker2),
                                   pickedDateTime(DateTimePicker5, DateTimePicker6));
                           },
                           QStringLiteral("添加成功"), QStringLiteral("添加失败")));
}

void TFrm_sa::FlatButton2Click()
{
    Edt_subjectname->clear();
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
