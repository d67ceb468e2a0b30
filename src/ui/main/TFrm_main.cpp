#include "ui/main/TFrm_main.h"

#include "controls/TFlatComboBox.h"
#include "data/ServerLink.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/Timer.h"
#include "schedule/CopyStandIn.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/SoundFetcher.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/common/ClockFields.h"
#include "ui/common/ClockSetting.h"
#include "ui/common/Controls.h"
#include "ui/run/TFrm_Subject.h"

#include <QApplication>
#include <QDateEdit>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimeEdit>
#include <algorithm>

namespace {

constexpr int ClockRowHeight = 60;

// Clock ticks between quiet retries of a failed load: each try may wait a
// moment for a lock.
constexpr int RetryTicks = 2;

} // namespace

using Controls::button;
using Controls::label;

TFrm_main::TFrm_main(Shell &shell)
    : Form(shell, QStringLiteral("Tessivox"), QSize(405, 200)), GroupBox1(new QGroupBox(this)),
      Lbl_title(new QLabel(QStringLiteral("title"), GroupBox1)),
      Label1(label(GroupBox1, QStringLiteral("请选择考试科目："), 40, 74, 110)),
      ComboBox1(new TFlatComboBox(GroupBox1)),
      Label3(label(GroupBox1, QStringLiteral("系统时间："), 40, 114, 110)),
      Label2(label(GroupBox1, QStringLiteral("time"), 150, 114, 201)),
      FBtn_ok(button(this, QStringLiteral("确定"), 26, 170)),
      FlatButton2(button(this, QStringLiteral("设置时间"), 119, 170)),
      FBtn_sa(button(this, QStringLiteral("管理员"), 212, 170)),
      FBtn_quit(button(this, QStringLiteral("退出"), 305, 170)),
      Bevel1(Controls::rule(this, 8, 208, 389)),
      DateTimePicker1(Controls::datePicker(this, shell.platform.formats, 20, 224, 130)),
      DateTimePicker2(Controls::timePicker(this, shell.platform.formats, 160, 224, 120)),
      FlatButton1(button(this, QStringLiteral("设置"), 300, 224)), Timer1(new Timer(1000, this)),
      Lbl_sounds(label(GroupBox1, QString(), 40, 134, 330)),
      m_clockRow(new ClockFields({DateTimePicker1, DateTimePicker2}, this))
{
    GroupBox1->setGeometry(8, 4, 389, 156);
    Lbl_title->setGeometry(18, 20, 353, 36);
    Lbl_title->setAlignment(Qt::AlignCenter);
    showTitle(Lbl_title->text());
    ComboBox1->setGeometry(150, 70, 200, 25);
    ComboBox1->setStyle(TFlatComboBox::csDropDownList);

    DateTimePicker1->hide();
    DateTimePicker2->hide();
    Controls::name(ComboBox1, Label1);
    Controls::name(DateTimePicker1, QStringLiteral("要设置的日期"));
    Controls::name(DateTimePicker2, QStringLiteral("要设置的时间"));
    ComboBox1->setFocus();

    on(Timer1, &Timer::timeout, &TFrm_main::Timer1Timer);
    on(FBtn_ok, &QPushButton::clicked, &TFrm_main::FBtn_okClick);
    on(FBtn_sa, &QPushButton::clicked, &TFrm_main::FBtn_saClick);
    on(FBtn_quit, &QPushButton::clicked, &TFrm_main::FBtn_quitClick);
    on(FlatButton2, &QPushButton::clicked, &TFrm_main::FlatButton2Click);
    on(FlatButton1, &QPushButton::clicked, &TFrm_main::FlatButton1Click);
    if (SoundFetcher *sounds = shell.sounds) {
        // The fetcher's look at the schedule costs a connection: only a
        // schedule read anew that differs from the last calls for it.
        if (CopyStandIn *standIn = shell.standIn.get())
            connect(&standIn->copy(), &LocalCopy::changed, sounds, [sounds] { sounds->fetch(); });
        connect(sounds, &SoundFetcher::progress, this, &TFrm_main::showSoundFiles);
        connect(sounds, &SoundFetcher::failed, Lbl_sounds, [this](const QString &reason) {
            m_soundFailure = reason;
            showSoundFailure();
        });
    }
    if (ServerLink *link = shell.data.link())
        connect(link, &ServerLink::reconnected, this, &TFrm_main::serverBack);
}

void TFrm_main::showSoundFailure()
{
    // The whole reason is in the tooltip; the line ends visibly.
    Lbl_sounds->setText(Lbl_sounds->fontMetrics().elidedText(
        QStringLiteral("声音文件接收失败，稍后自动重试：") + m_soundFailure, Qt::ElideRight,
        Lbl_sounds->width()));
    Lbl_sounds->setToolTip(m_soundFailure);
}

void TFrm_main::showSoundFiles(int held, int named)
{
    // What still fails is said until every file is here: a count that
    // stands still would tell nobody why.
    if (held >= named)
        m_soundFailure.clear();
    if (!m_soundFailure.isEmpty()) {
        showSoundFailure();
        return;
    }
    Lbl_sounds->setToolTip({});
    Lbl_sounds->setText(held < named
                            ? QStringLiteral("正在接收声音文件 %1/%2").arg(held).arg(named)
                            : QStringLiteral("声音文件已全部接收 %1/%2").arg(held).arg(named));
}

void TFrm_main::FormCreate()
{
    m_reloadOnReturn = false;
    showClock();
    load({true, false});
}

void TFrm_main::refill()
{
    load({false, true});
}

void TFrm_main::load(LoadWay way)
{
    if (m_loading) {
        m_nextLoad = m_nextLoad ? LoadWay{m_nextLoad->report || way.report,
                                          m_nextLoad->keepChoice && way.keepChoice}
                                : way;
        return;
    }
    m_loading = true;
    DataScheduleRepository(m_shell.data, m_shell.standIn.get())
        .loadOverview(this,
                      [this, way](const ScheduleOverview &overview) { loaded(overview, way); });
}

void TFrm_main::loaded(const ScheduleOverview &overview, LoadWay way)
{
    m_loading = false;
    const QString chosen = ComboBox1->currentText();
    if (overview.title)
        showTitle(*overview.title);
    ComboBox1->clear();
    ComboBox1->addItems(overview.subjects);
    ComboBox1->setCurrentIndex(way.keepChoice && !chosen.isEmpty() ? ComboBox1->findText(chosen)
                                                                   : -1);
    m_loadFailed = bool(overview.failure);
    // A box the load shows takes the input; its closing is no return to
    // reload on, or a database that stays unusable would bring it back for
    // ever.
    const QScopedValueRollback noReturn(m_boxIsNoReturn, true);
    if (overview.failure) {
        if (way.report)
            m_shell.errors.guard([&] { std::rethrow_exception(overview.failure); });
    } else {
        m_fromCopy = overview.fromCopy;
        // A box that waits for nobody: the window comes up, and refills
        // later by itself, without anyone at the PC.
        if (!overview.notice.isEmpty())
            m_shell.platform.messageBoxes.notice(this, overview.notice);
    }
    if (const std::optional<LoadWay> next = std::exchange(m_nextLoad, std::nullopt))
        load(*next);
}

void TFrm_main::changeEvent(QEvent *event)
{
    Form::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        // Locked while the gate, the console or a run has the input,
        // whichever windows the input passes through meanwhile.
        if (!isEnabled())
            m_reloadOnReturn = true;
        return;
    }
    if (event->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow()) {
        // No active window left means another application took the input.
        if (!m_boxIsNoReturn && QApplication::activeWindow())
            m_reloadOnReturn = true;
        return;
    }
    if (!m_reloadOnReturn)
        return;
    m_shell.errors.guard([this] { FormCreate(); });
}

void TFrm_main::showTitle(const QString &title)
{
    // A school's full name easily outgrows the label: rather than cut it
    // at both ends, the title shrinks down to the window's own text size
    // and only then breaks onto a second line.
    QFont face = font();
    const qreal smallest = face.pointSizeF();
    face.setBold(true);
    face.setPointSizeF(smallest * 1.6);
    const auto tooWide = [&] {
        return QFontMetrics(face).horizontalAdvance(title) > Lbl_title->width();
    };
    while (face.pointSizeF() > smallest && tooWide())
        face.setPointSizeF(std::max(smallest, face.pointSizeF() - 0.5));
    Lbl_title->setFont(face);
    Lbl_title->setWordWrap(tooWide());
    Lbl_title->setText(title);
}

void TFrm_main::Timer1Timer()
{
    showClock();
    // While another window has the input, the return to this one reloads.
    if (!(m_loadFailed || m_fromCopy) || !isEnabled() || ++m_ticksSinceRetry < RetryTicks)
        return;
    // The failure was reported once; nobody need click anything or close
    // another box for the window to fill once the database is readable. A
    // server that was lost is only asked, off this thread, whether it
    // answers again: serverBack() reloads when it does.
    m_ticksSinceRetry = 0;
    if (ServerLink *link = m_shell.data.link(); link && link->isLost()) {
        link->probe();
        return;
    }
    serverBack();
}

void TFrm_main::serverBack()
{
    if (!(m_loadFailed || m_fromCopy) || !isEnabled() || m_loading)
        return;
    // The subject chosen from the copy stays chosen.
    load({false, true});
}

void TFrm_main::hideEvent(QHideEvent *event)
{
    Form::hideEvent(event);
    Timer1->setInterval(0);
}

void TFrm_main::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    showClock();
    Timer1->setInterval(1000);
}

void TFrm_main::showClock()
{
    const QDateTime now = m_shell.platform.clock.now();
    Label2->setText(m_shell.platform.formats.dateTime(now));
    if (!DateTimePicker1->isHidden())
        m_clockRow->follow(now);
}

void TFrm_main::FBtn_okClick()
{
    if (ComboBox1->currentText().isEmpty()) {
        m_shell.platform.messageBoxes.inform(this, QStringLiteral("请选择考试科目!"));
        return;
    }
    // A run that could not read its subject or queue would stand there
    // playing nothing; this window stays instead, with the subject still
    // chosen for the next try. The box saying why is no return from another
    // window, so its closing does not reload.
    m_boxIsNoReturn = true;
    TFrm_Subject *run = m_shell.createWhole(m_shell.Frm_Subject);
    m_boxIsNoReturn = false;
    if (!run)
        return;
    setEnabled(false);
    hide();
    run->centreOnScreen();
    run->show();
    run->activateWindow();
}

void TFrm_main::backFromRun(bool reload)
{
    setEnabled(true);
    if (!reload)
        m_reloadOnReturn = false;
    setVisible(true);
    activateWindow();
}

void TFrm_main::FBtn_saClick()
{
    TFrm_validate *gate = m_shell.create(m_shell.Frm_validate);
    setEnabled(false);
    gate->centreOn(this);
    gate->show();
    gate->activateWindow();
}

void TFrm_main::FBtn_quitClick()
{
    m_shell.terminate();
}

void TFrm_main::FormClose()
{
    m_shell.terminate();
}

void TFrm_main::FlatButton2Click()
{
    setClockRowShown(DateTimePicker1->isHidden());
}

void TFrm_main::setClockRowShown(bool shown)
{
    // The explicit hidden state, not isVisible(): the row keeps its state
    // while the whole window is hidden during a run.
    if (shown == !DateTimePicker1->isHidden())
        return;
    if (shown)
        m_clockRow->restart(m_shell.platform.clock.now());
    DateTimePicker1->setVisible(shown);
    DateTimePicker2->setVisible(shown);
    FlatButton1->setVisible(shown);
    growBy(shown ? ClockRowHeight : -ClockRowHeight);
}

void TFrm_main::FlatButton1Click()
{
    const QDateTime value = Controls::pickedDateTime(DateTimePicker1, DateTimePicker2);
    // Only the button waits for the answer; the window stays live.
    FlatButton1->setEnabled(false);
    ClockSetting::apply(m_shell, this, value, [this] {
        FlatButton1->setEnabled(true);
        setClockRowShown(false);
    });
}
