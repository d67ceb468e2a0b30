#pragma once

#include "data/SoundStore.h"

#include "app/Form.h"
#include "platform/SleepInhibitor.h"
#include "run/Announcer.h"
#include "run/RunDisplay.h"
#include "run/RunLog.h"

#include <QDateTime>
#include <QThreadPool>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class CandidateScreen;
class MediaPlayer;
class PlayProgress;
class Scheduler;
class SubjectReread;
struct SubjectLoad;
struct SubjectRead;
class Timer;

// The window in which one exam is run: the subject, its start and end, the
// live clock, and the instruction that plays or comes next.
class TFrm_Subject final : public Form, private RunDisplay
{
    Q_OBJECT

public:
    explicit TFrm_Subject(Shell &shell);
    ~TFrm_Subject() override;

    // Opens at once with the subject's name; its times and instructions
    // follow, from a server once they arrive.
    void FormCreate() override;
    // The subject has not arrived yet.
    bool isLoading() const { return m_loading; }
    // The schedule may have changed on the server: the run reads its
    // subject again off this thread, and follows what moved once the
    // reading arrives.
    void followServer();
    // The office's announcement plays now: the instruction still sounding
    // is silenced and its text shown in the window and to the candidates.
    void announce(const Announcer::Announcement &announcement, qint64 lengthMs);
    // It could not play: why, in the window, not in a box that waits.
    void announceFailed(const Announcer::Announcement &announcement, const QString &reason);
    void Timer2Timer();
    void FlatButton1Click();
    void Fbtn_quitClick();

    QGroupBox *GroupBox1;
    QLabel *Lbl_Sub;
    QLabel *Lbl_Name;
    QLabel *Lbl_Start;
    QLabel *Lbl_Starttime;
    QLabel *Lbl_End;
    QLabel *Lbl_Endtime;
    QLabel *Lbl_Systemtime;
    QLabel *Label1;
    QLabel *Label3;
    // The next instruction and the time left until it.
    QLabel *Lbl_next;
    QLineEdit *edittime;
    QPlainTextEdit *Memo_content;
    QPushButton *Fbtn_quit;
    QPushButton *FlatButton1;
    QTreeWidget *ListView1;
    Timer *Timer1;
    Timer *Timer2;
    Timer *Timer3;
    std::unique_ptr<MediaPlayer> MediaPlayer1;
    std::unique_ptr<Scheduler> scheduler;
    // Keeps the PC awake while the window is open.
    std::unique_ptr<SleepInhibitor::Hold> sleepHold;
    // The room's projector, open as long as the run.
    std::unique_ptr<CandidateScreen> candidateScreen;

protected:
    void FormClose() override;
    // A stray key must not end an exam: Escape asks, as "停止运行" does.
    void escape() override { Fbtn_quitClick(); }

private:
    void setPlayTime(const QString &text) override;
    bool memoIsEmpty() const override;
    void setMemoLine(const QString &line) override;
    void showPlayFailure(const QString &message) override;

    // The instruction still sounding gives way to the announcement.
    void cutInstructionFor(const Announcer::Announcement &announcement);
    void showAnnouncement(const Announcer::Announcement &announcement, qint64 lengthMs);
    void countSoundOutputs();
    void showClock();
    void showLogUnwritable(const QString &path);
    void showClockHealth(const ClockHealth::Reading &reading);
    void loaded(const SubjectLoad &load);
    // Shows what was read and starts the run on it.
    void play(const SubjectLoad &load);
    void endRun(RunLog::End how);
    // The window goes and the main window takes the input again; a run
    // that never started leaves it as it was, its subject chosen.
    void leave(bool started);
    void warnOfClockOffset(qint64 offsetMs);
    // What the reading of the subject anew brought: the play list, the
    // times shown and the queue follow it at once.
    void follow(const SubjectRead &read);
    void holdServerSounds(const QHash<QString, SoundStore::Held> &held);
    QString soundPath(const QString &file) const;
    // How the run log names the file at path.
    QString fileShown(const QString &path) const;
    QString absence(const QString &path) const;

    QString m_subject;
    // Made once the run plays, on a server only.
    SubjectReread *m_reread = nullptr;
    // The files of the schedule the server holds: they play from this
    // room's cache, the others from the sound folder.
    QHash<QString, SoundStore::Held> m_serverSounds;
    // The schedule's name of every content the run held, also one replaced
    // since, by SHA-256.
    QHash<QString, QString> m_namesOfContents;
    QString m_cacheFolder;
    QDateTime m_start;
    QDateTime m_end;
    bool m_ended = false;
    bool m_loading = false;
    // The first reading runs within the creation: a file's, read at once.
    bool m_creating = false;
    // A notice of a change came before the first reading did.
    bool m_changedWhileLoading = false;
    std::unique_ptr<RunLog> m_log;
    // Kept below the explanation for the rest of the run once the log fails.
    QString m_logWarning;
    bool m_clockWarned = false;
    // When the last instruction's sound was let go.
    QDateTime m_instructionStarted;
    // The explanation shows the office's announcement.
    bool m_showsAnnouncement = false;
    // An announcement that an instruction of its very second gave way to.
    std::optional<Announcer::Announcement> m_announcementKept;
    PlayProgress *m_progress;
    // Counts the sound outputs; going with the window, it waits for the
    // count, which has a deadline of its own.
    QThreadPool m_counting;
};
