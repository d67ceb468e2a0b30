#include "ui/run/TFrm_Subject.h"

#include "data/Statements.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/SoundOutputs.h"
#include "platform/ThreadPriority.h"
#include "platform/Timer.h"
#include "run/MediaPlayer.h"
#include "run/Scheduler.h"
#include "ui/common/Controls.h"
#include "ui/common/InstructionList.h"
#include "ui/main/TFrm_main.h"

#include "controls/TFlatComboBox.h"
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

constexpr int PlayListHeight = 120;

constexpr int CaptionWidth = 90;

} // namespace

using Controls::label;

TFrm_Subject::TFrm_Subject(Shell &shell)
    : Form(shell, QStringLiteral("开始运行程序...."), QSize(431, 362)),
      GroupBox1(new QGroupBox(QStringLiteral("考试信息"), this)),
      Lbl_Sub(label(GroupBox1, QStringLiteral("科目："), 16, 24, CaptionWidth)),
      Lbl_Name(label(GroupBox1, QString(), 130, 24, 270)),
      Lbl_Start(label(GroupBox1, QStringLiteral("开始时间："), 16, 52, CaptionWidth)),
      Lbl_Starttime(label(GroupBox1, QString(), 130, 52, 270)),
      Lbl_End(label(GroupBox1, QStringLiteral("结束时间："), 16, 80, CaptionWidth)),
      Lbl_Endtime(label(GroupBox1, QString(), 130, 80, 270)),
      Lbl_Systemtime(label(GroupBox1, QStringLiteral("计算机系统时间："), 16, 108, 114)),
      Label1(label(GroupBox1, QString(), 130, 108, 270)),
      Label3(label(GroupBox1, QStringLiteral("播放语音说明："), 16, 140, 120)),
      edittime(new QLineEdit(GroupBox1)), Memo_content(new QPlainTextEdit(GroupBox1)),
      Fbtn_quit(Controls::button(this, QStringLiteral("停止运行"), 230, 326, 85)),
      FlatButton1(Controls::button(this, QStringLiteral("查看播放列表"), 325, 326, 96)),
      ListView1(new QTreeWidget(this)), Timer1(new Timer(0, this)), Timer2(new Timer(1000, this)),
      Timer3(new Timer(0, this)), MediaPlayer1(shell.platform.makeMediaPlayer()),
      scheduler(std::make_unique<Scheduler>(Scheduler::Parts{
          shell.data.ADOQuery10, *MediaPlayer1, *Timer1, *Timer3, shell.platform.clock, *this,
          [&platform = shell.platform](const QString &file) { return platform.soundPath(file); }})),
      m_log(
          std::make_unique<RunLog>(shell.platform.clock, RunLog::folderIn(shell.data.dataFolder())))
{
    GroupBox1->setGeometry(8, 4, 415, 302);
    edittime->setGeometry(16, 164, 383, 24);
    Memo_content->setGeometry(16, 194, 383, 94);
    Memo_content->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Controls::rule(this, 8, 314, 415);
    ListView1->setGeometry(8, 366, 415, 110);
    InstructionList::setUp(ListView1, {QStringLiteral("播放文件"), QStringLiteral("播放说明"),
                                       QStringLiteral("播放时间")});
    ListView1->hide();
    // A text field with the focus blinks its cursor, which wakes the PC twice
    // a second for the whole exam; the play list button is harmless to press.
    FlatButton1->setFocus();

    on(Timer1, &Timer::timeout, [this] { scheduler->Timer1Timer(); });
    on(Timer3, &Timer::timeout, [this] { scheduler->Timer3Timer(); });
    on(Timer2, &Timer::timeout, &TFrm_Subject::Timer2Timer);
    on(FlatButton1, &QPushButton::clicked, &TFrm_Subject::FlatButton1Click);
    on(Fbtn_quit, &QPushButton::clicked, &TFrm_Subject::Fbtn_quitClick);
    m_log->follow(*scheduler);
    connect(m_log.get(), &RunLog::unwritable, this, &TFrm_Subject::showLogUnwritable);
}

TFrm_Subject::~TFrm_Subject() = default;

void TFrm_Subject::FormCreate()
{
    const Platform &platform = m_shell.platform;
    // First, before any message: closing a message box reactivates the main
    // window, whose reload empties the subject box.
    m_subject = m_shell.Frm_main->ComboBox1->currentText();
    sleepHold = platform.sleepInhibitor.keepAwake(QStringLiteral("考试正在进行：") + m_subject);
    // This thread plays each instruction on its second.
    if (const QString refusal = ThreadPriority::raiseCurrent(); !refusal.isEmpty())
        qWarning("Tessivox: the run goes on at normal priority: %s", qUtf8Printable(refusal));
    MediaPlayer1->setTimeFormatMilliseconds();
    if (platform.soundOutputs.count() <= 0)
        platform.messageBoxes.inform(this,
                                     QStringLiteral("声音控制器不正确，程序可能无法正常运行 !"));
    showClock();
    Lbl_Name->setText(m_subject);

    TDataModule1 &data = m_shell.data;
    TDataModule1::Load load(data);
    data.ADOQuery10.replace(Statements::selectSubject(m_subject));
    data.ADOQuery10.open();
    Lbl_Starttime->setText(platform.formats.dateTime(data.ADOQuery10.dateTime("starttime")));
    Lbl_Endtime->setText(platform.formats.dateTime(data.ADOQuery10.dateTime("endtime")));

    data.ADOQuery6.replace(Statements::selectSoundsByPlaytime(m_subject));
    data.ADOQuery6.open();
    InstructionList::fill(ListView1, data.ADOQuery6, platform.formats);

    data.ADOQuery10.replace(Statements::selectSoundsByPlaytime(m_subject));
    data.ADOQuery10.open();
    load.finished();
    // The run plays from the rows it holds now, whatever becomes of the
    // server: no statement is sent until the run ends.
    if (const QString notice = data.takeNotice(); !notice.isEmpty())
        platform.messageBoxes.notice(this, notice);
    m_log->started(m_subject, data.ADOQuery10.recordCount());
    if (data.ADOQuery10.recordCount() == 0) {
        platform.messageBoxes.inform(this, QStringLiteral("没有要播放的文件"));
        return;
    }
    scheduler->start();
}

void TFrm_Subject::setPlayTime(const QString &text)
{
    edittime->setText(text);
}

bool TFrm_Subject::memoIsEmpty() const
{
    return Memo_content->document()->isEmpty() || Memo_content->toPlainText() == m_logWarning;
}

void TFrm_Subject::setMemoLine(const QString &line)
{
    Memo_content->setPlainText(line);
    if (!m_logWarning.isEmpty())
        Memo_content->appendPlainText(m_logWarning);
}

void TFrm_Subject::showPlayFailure(const QString &message)
{
    // Nobody may be at the PC to close it: the run must not wait for that.
    m_shell.platform.messageBoxes.notice(this, message);
}

void TFrm_Subject::showLogUnwritable(const QString &path)
{
    m_logWarning =
        QStringLiteral("运行记录无法写入（%1），播放照常进行").arg(QDir::toNativeSeparators(path));
    Memo_content->appendPlainText(m_logWarning);
}

void TFrm_Subject::Timer2Timer()
{
    showClock();
    scheduler->checkClock();
}

void TFrm_Subject::showClock()
{
    Label1->setText(m_shell.platform.formats.dateTime(m_shell.platform.clock.now()));
}

void TFrm_Subject::FlatButton1Click()
{
    const bool shown = !ListView1->isHidden();
    ListView1->setVisible(!shown);
    growBy(shown ? -PlayListHeight : PlayListHeight);
}

void TFrm_Subject::Fbtn_quitClick()
{
    const MessageBoxes::Answer answer = m_shell.platform.messageBoxes.show(
        this, QStringLiteral("确定停止运行吗？"), QStringLiteral("提示"),
        MessageBoxes::Buttons::OkCancel, MessageBoxes::Icon::None);
    if (answer == MessageBoxes::Answer::Ok)
        endRun(RunLog::End::Stopped);
}

void TFrm_Subject::FormClose()
{
    endRun(RunLog::End::Closed);
}

void TFrm_Subject::endRun(RunLog::End how)
{
    m_log->ended(how);
    TFrm_main *main = m_shell.Frm_main;
    main->setEnabled(true);
    Timer1->setInterval(0);
    Timer2->setInterval(0);
    sleepHold.reset();
    ThreadPriority::lowerCurrent();
    main->setVisible(true);
    main->activateWindow();
    m_shell.release(this);
}
