#include "ui/run/TFrm_Subject.h"

#include "app/RoomAnnouncements.h"
#include "data/SoundCache.h"
#include "data/TDataModule1.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"
#include "platform/ClockHealth.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/SoundOutputs.h"
#include "platform/ThreadPriority.h"
#include "platform/Timer.h"
#include "run/MediaPlayer.h"
#include "run/Scheduler.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/SoundFetcher.h"
#include "schedule/SubjectReread.h"
#include "ui/common/Controls.h"
#include "ui/common/InstructionList.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/PlayProgress.h"
#include "ui/screen/CandidateScreen.h"

#include "controls/TFlatComboBox.h"
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QTreeWidget>

namespace {

constexpr int PlayListHeight = 120;

constexpr int CaptionWidth = 90;

QStringList filesInPlayOrder(const QList<Instruction> &instructions)
{
    QStringList files;
    for (const Instruction &instruction : instructions)
        files << instruction.filename;
    return files;
}

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
      Lbl_next(label(GroupBox1, QString(), 140, 140, 259)), edittime(new QLineEdit(GroupBox1)),
      Memo_content(new QPlainTextEdit(GroupBox1)),
      Fbtn_quit(Controls::button(this, QStringLiteral("停止运行"), 230, 326, 85)),
      FlatButton1(Controls::button(this, QStringLiteral("查看播放列表"), 325, 326, 96)),
      ListView1(new QTreeWidget(this)), Timer1(new Timer(0, this)), Timer2(new Timer(1000, this)),
      Timer3(new Timer(0, this)), MediaPlayer1(shell.platform.makeMediaPlayer()),
      scheduler(std::make_unique<Scheduler>(
          Scheduler::Parts{*MediaPlayer1, *Timer1, *Timer3, shell.platform.clock, *this,
                           [this](const QString &file) { return soundPath(file); },
                           [this](const QString &path) { return absence(path); }})),
      candidateScreen(std::make_unique<CandidateScreen>(
          shell.platform.clock, shell.platform.formats, shell.platform.screen)),
      m_cacheFolder(SoundCache::folderIn(shell.data.dataFolder())),
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
                                       QStringLiteral("播放时间"), QStringLiteral("状态")});
    ListView1->hide();
    Lbl_next->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_progress = new PlayProgress(ListView1, Lbl_next, shell.platform.clock, *scheduler, this);
    Controls::name(edittime, QStringLiteral("播放时间"));
    Controls::name(Memo_content, Label3);
    Controls::name(ListView1, QStringLiteral("播放列表"));
    // A text field with the focus blinks its cursor, which wakes the PC twice
    // a second for the whole exam; the play list button is harmless to press.
    FlatButton1->setFocus();

    on(Timer1, &Timer::timeout, [this] { scheduler->Timer1Timer(); });
    on(Timer3, &Timer::timeout, [this] { scheduler->Timer3Timer(); });
    on(Timer2, &Timer::timeout, &TFrm_Subject::Timer2Timer);
    on(FlatButton1, &QPushButton::clicked, &TFrm_Subject::FlatButton1Click);
    on(Fbtn_quit, &QPushButton::clicked, &TFrm_Subject::Fbtn_quitClick);
    connect(scheduler.get(), &Scheduler::speaking, candidateScreen.get(), &CandidateScreen::speak);
    connect(scheduler.get(), &Scheduler::silenced, candidateScreen.get(),
            &CandidateScreen::silenced);
    // An instruction that sounds after an announcement shows its own text
    // in place of the announcement's.
    connect(scheduler.get(), &Scheduler::speaking, this, [this](const QString &explanation) {
        // Cut at once for an announcement of its second, which goes on.
        if (const auto kept = std::exchange(m_announcementKept, std::nullopt)) {
            cutInstructionFor(*kept);
            const Clock &clock = m_shell.platform.clock;
            showAnnouncement(*kept, clock.now().msecsTo(m_shell.announcements->soundEnds()));
            return;
        }
        if (std::exchange(m_showsAnnouncement, false))
            setMemoLine(QStringLiteral("播放说明：") + explanation);
    });
    // While the candidates' screen turns on each second, this clock turns
    // with it: one wake-up a second for both windows.
    on(candidateScreen.get(), &CandidateScreen::secondBegan, &TFrm_Subject::Timer2Timer);
    connect(candidateScreen.get(), &CandidateScreen::turning, this,
            [this](bool on) { Timer2->setInterval(on ? 0 : 1000); });
    m_log->follow(*scheduler, [this](const QString &path) { return fileShown(path); });
    connect(scheduler.get(), &Scheduler::played, this,
            [this] { m_instructionStarted = m_shell.platform.clock.now(); });
    // An instruction's second silences an announcement still sounding, but
    // for one of that very second: the office's word goes first.
    if (RoomAnnouncements *announcements = shell.announcements)
        connect(scheduler.get(), &Scheduler::played, this,
                [this, announcements](const QTime &second) {
                    if (const auto sounding = announcements->sounding();
                        sounding && sounding->second == second) {
                        // Cut once it sounds, right after this.
                        m_announcementKept = sounding;
                        return;
                    }
                    if (const auto silenced = announcements->silence())
                        m_log->cutOff(silenced->second, silenced->file,
                                      QStringLiteral("by the instruction of %1")
                                          .arg(second.toString(QStringLiteral("HH:mm:ss"))),
                                      silenced->id);
                });
    connect(m_log.get(), &RunLog::unwritable, this, &TFrm_Subject::showLogUnwritable);
    if (RoomReporter *reporter = shell.reporter) {
        m_log->observe([reporter](const RunEvent &event) { reporter->record(event); });
        connect(reporter, &RoomReporter::clockOffsetMeasured, this,
                &TFrm_Subject::warnOfClockOffset);
    }
}

TFrm_Subject::~TFrm_Subject() = default;

void TFrm_Subject::FormCreate()
{
    // First, before any message: closing a message box reactivates the main
    // window, whose reload empties the subject box.
    m_subject = m_shell.Frm_main->ComboBox1->currentText();
    MediaPlayer1->setTimeFormatMilliseconds();
    countSoundOutputs();
    Lbl_Name->setText(m_subject);
    m_loading = true;
    Lbl_next->setText(QStringLiteral("正在读取…"));
    showClock();
    // A server's subject comes later, the window live meanwhile; a file's
    // at once, within the creation, whose failure keeps the run from
    // opening.
    const QScopedValueRollback creating(m_creating, true);
    DataScheduleRepository(m_shell.data, m_shell.standIn.get())
        .loadSubject(m_subject, this, [this](const SubjectLoad &load) { loaded(load); });
}

void TFrm_Subject::loaded(const SubjectLoad &load)
{
    // Closed before its subject came: nothing plays.
    if (m_ended)
        return;
    m_loading = false;
    if (m_creating) {
        play(load);
        return;
    }
    // The window is already open: what could not be read is reported, and
    // the run goes as though it had never opened.
    if (!m_shell.errors.guard([&] { play(load); }))
        leave(false);
}

void TFrm_Subject::play(const SubjectLoad &load)
{
    if (load.failure)
        std::rethrow_exception(load.failure);
    const Platform &platform = m_shell.platform;
    const Subject &subject = load.read.subject;
    m_start = subject.start;
    m_end = subject.end;
    Lbl_Starttime->setText(platform.formats.dateTime(m_start));
    Lbl_Endtime->setText(platform.formats.dateTime(m_end));
    candidateScreen->showExam(m_shell.Frm_main->Lbl_title->text(), m_subject, m_start, m_end);
    // Come up after the run window, the candidates' screen does not cover it.
    if (isVisible() && candidateScreen->isVisible())
        raise();

    InstructionList::fill(ListView1, subject.instructions, platform.formats);
    holdServerSounds(load.read.held);
    m_progress->refill();
    if (m_shell.sounds)
        m_shell.sounds->fetch(filesInPlayOrder(subject.instructions));
    // The run plays from the instructions it holds now, whatever becomes of
    // the server: only a reading off this thread may bring it others.
    if (!load.notice.isEmpty())
        platform.messageBoxes.notice(this, load.notice);
    // Only a run that could read its queue holds the PC awake and raises
    // this thread, which plays each instruction on its second.
    sleepHold = platform.sleepInhibitor.keepAwake(QStringLiteral("考试正在进行：") + m_subject);
    if (const QString refusal = ThreadPriority::raiseCurrent(); !refusal.isEmpty())
        qWarning("Tessivox: the run goes on at normal priority: %s", qUtf8Printable(refusal));
    Timer1->setUrgent(true);
    m_log->started(m_subject, int(subject.instructions.size()));
    if (m_shell.reporter)
        if (const std::optional<qint64> offset = m_shell.reporter->clockOffsetMs())
            warnOfClockOffset(*offset);
    platform.clockHealth.read(
        [run = QPointer<TFrm_Subject>(this)](const ClockHealth::Reading &reading) {
            if (run)
                run->showClockHealth(reading);
        });
    if (ServerLink *link = m_shell.data.link()) {
        m_reread = new SubjectReread(*link, m_subject, this);
        connect(m_reread, &SubjectReread::read, this, &TFrm_Subject::follow);
        // A change noticed while the first reading was on its way may have
        // come after it.
        if (std::exchange(m_changedWhileLoading, false))
            m_reread->request();
    }
    if (subject.instructions.isEmpty()) {
        platform.messageBoxes.inform(this, QStringLiteral("没有要播放的文件"));
        return;
    }
    scheduler->start(subject.instructions);
}

QString TFrm_Subject::soundPath(const QString &file) const
{
    const auto held = m_serverSounds.constFind(file);
    return held == m_serverSounds.cend() ? m_shell.platform.soundPath(file)
                                         : SoundCache(m_cacheFolder).pathFor(held->sha256);
}

void TFrm_Subject::holdServerSounds(const QHash<QString, SoundStore::Held> &held)
{
    m_serverSounds = held;
    for (const SoundStore::Held &file : held)
        m_namesOfContents.insert(file.sha256, file.name);
}

QString TFrm_Subject::fileShown(const QString &path) const
{
    // A cached file is named by its content alone. The office wants the
    // schedule's name, and the start of the content's digest to tell a
    // recording replaced during the run from the one it replaced.
    const QFileInfo file(path);
    const auto name = m_namesOfContents.constFind(file.completeBaseName());
    if (file.path() != m_cacheFolder || name == m_namesOfContents.cend())
        return path;
    return SoundStore::shownName(*name, name.key());
}

QString TFrm_Subject::absence(const QString &path) const
{
    if (path.startsWith(m_cacheFolder + QLatin1Char('/')) && !QFileInfo::exists(path))
        return QStringLiteral("not yet received from the server");
    return {};
}

void TFrm_Subject::followServer()
{
    if (m_loading) {
        m_changedWhileLoading = true;
        return;
    }
    // A run that ended, or never opened because it could not read its
    // subject, waits only for its release.
    if (m_ended || !isVisible() || !m_reread)
        return;
    m_reread->request();
}

void TFrm_Subject::follow(const SubjectRead &read)
{
    if (m_ended)
        return;
    // A subject deleted meanwhile keeps its times on view.
    const QDateTime start = read.subject.hasTestRow ? read.subject.start : m_start;
    const QDateTime end = read.subject.hasTestRow ? read.subject.end : m_end;
    // A recording stored or replaced meanwhile plays from the cache too.
    const bool recordingsChanged = m_serverSounds != read.held;
    holdServerSounds(read.held);
    const Platform &platform = m_shell.platform;
    QStringList what;
    const auto note = [&](const char *name, const QDateTime &from, const QDateTime &to) {
        if (from != to)
            what << QStringLiteral("%1 %2 -> %3")
                        .arg(QLatin1String(name),
                             from.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             to.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    };
    note("start", m_start, start);
    note("end", m_end, end);
    if (!what.isEmpty()) {
        m_start = start;
        m_end = end;
        Lbl_Starttime->setText(platform.formats.dateTime(start));
        Lbl_Endtime->setText(platform.formats.dateTime(end));
        if (candidateScreen)
            candidateScreen->showExam(m_shell.Frm_main->Lbl_title->text(), m_subject, start, end);
    }
    const QList<Instruction> &fresh = read.subject.instructions;
    // The queue first: the play path has the new list before the window.
    const QueueChange change = scheduler->follow(fresh);
    if (!change.isEmpty())
        what << change.text();
    if (!change.isEmpty() || !change.kept.isEmpty()) {
        InstructionList::fill(ListView1, fresh, platform.formats);
        m_progress->refill();
    }
    // The fetcher's look at the schedule costs a connection: only news
    // calls for it.
    if (m_shell.sounds && (recordingsChanged || !change.isEmpty()))
        m_shell.sounds->fetch(filesInPlayOrder(fresh));
    if (!what.isEmpty())
        m_log->scheduleChanged(what.join(QStringLiteral("; ")));
}

void TFrm_Subject::announce(const Announcer::Announcement &announcement, qint64 lengthMs)
{
    if (m_ended)
        return;
    cutInstructionFor(announcement);
    showAnnouncement(announcement, lengthMs);
}

void TFrm_Subject::showAnnouncement(const Announcer::Announcement &announcement, qint64 lengthMs)
{
    setMemoLine(QStringLiteral("考务通知：") + announcement.text);
    m_showsAnnouncement = true;
    if (candidateScreen)
        candidateScreen->speak(announcement.text, lengthMs);
}

void TFrm_Subject::announceFailed(const Announcer::Announcement &announcement,
                                  const QString &reason)
{
    if (!m_ended)
        setMemoLine(QStringLiteral("考务通知 #%1 未能播放：%2").arg(announcement.id).arg(reason));
}

void TFrm_Subject::cutInstructionFor(const Announcer::Announcement &announcement)
{
    // How long it was heard: cut in its first milliseconds, nobody heard it.
    if (const std::optional<Scheduler::Silenced> silenced = scheduler->cutOff())
        m_log->cutOff(silenced->second, fileShown(silenced->file),
                      QStringLiteral("by announcement #%1, heard %2 ms")
                          .arg(announcement.id)
                          .arg(m_instructionStarted.msecsTo(m_shell.platform.clock.now())));
}

void TFrm_Subject::countSoundOutputs()
{
    // Off this thread, and answered once the run has started: a server that
    // is slow to count, or none at all, holds up neither the run nor the
    // windows, and nobody needs to be at the PC to close the box.
    m_counting.start([&outputs = m_shell.platform.soundOutputs,
                      run = QPointer<TFrm_Subject>(this)] {
        const int count = outputs.count();
        QMetaObject::invokeMethod(qApp, [run, count] {
            if (run && count <= 0)
                run->showPlayFailure(QStringLiteral("声音控制器不正确，程序可能无法正常运行 !"));
        });
    });
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

void TFrm_Subject::warnOfClockOffset(qint64 offsetMs)
{
    if (m_clockWarned || qAbs(offsetMs) <= m_shell.reporter->room().clockLimitMs)
        return;
    m_clockWarned = true;
    // The run keeps its own clock: setting the clock is the administrator's
    // decision, not something to do in the middle of an exam unasked.
    m_shell.platform.messageBoxes.notice(
        this, QStringLiteral("本机时钟比服务器%1 %2 秒，本场考试仍按本机时钟播放。")
                  .arg(offsetMs > 0 ? QStringLiteral("快") : QStringLiteral("慢"))
                  .arg(QString::number(qAbs(offsetMs) / 1000.0, 'f', 1)));
}

void TFrm_Subject::showClockHealth(const ClockHealth::Reading &reading)
{
    m_log->clockHealth(reading);
    if (reading.sync != ClockHealth::Sync::NotSynchronised)
        return;
    // Said once, and nobody may be at the PC to close it.
    m_shell.platform.messageBoxes.notice(
        this, QStringLiteral(
                  "计算机时钟未与时间服务器同步，每条指令都按这台计算机的时钟播放：请核对时间。"));
}

void TFrm_Subject::Timer2Timer()
{
    showClock();
    scheduler->checkClock();
}

void TFrm_Subject::showClock()
{
    // Read at a glance from across the room: the hour keeps both digits
    // whatever the regional format.
    const RegionalFormats &formats = m_shell.platform.formats;
    const QDateTime now = m_shell.platform.clock.now();
    static const QRegularExpression loneHour(QStringLiteral("(?<![hH])([hH])(?![hH])"));
    const QString format = QString(formats.longTimeFormat()).replace(loneHour, "\\1\\1");
    Label1->setText(now.time().msecsSinceStartOfDay() < 1000
                        ? formats.shortDate(now.date())
                        : formats.shortDate(now.date()) + QLatin1Char(' ') +
                              QLocale().toString(now.time(), format));
    // Until the subject comes, there is no next instruction to count down to.
    if (!m_loading)
        m_progress->refresh();
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
    // A run closed before its subject came never started.
    if (!m_loading)
        m_log->ended(how);
    leave(true);
}

void TFrm_Subject::leave(bool started)
{
    m_ended = true;
    Timer1->setInterval(0);
    Timer2->setInterval(0);
    sleepHold.reset();
    candidateScreen.reset();
    ThreadPriority::lowerCurrent();
    hide();
    m_shell.Frm_main->backFromRun(started);
    m_shell.release(this);
}
