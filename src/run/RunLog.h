#pragma once

#include "platform/ClockHealth.h"
#include "run/Announcer.h"
#include "run/RunEvent.h"
#include "run/Scheduler.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Clock;
class RunLogWriter;

// A plain-text record of one run for whoever has to account for it later,
// appended to <folder>/<day the run started>.log: UTF-8, one line per event,
// fields separated by tabs, the first the local time to the millisecond with
// its offset from UTC. Each line is stamped when its event has happened,
// after the play call it reports, never before one, and written and flushed
// from a thread of its own: a folder that is slow or hangs holds up no play.
class RunLog final : public QObject
{
    Q_OBJECT

public:
    enum class End
    {
        Stopped,
        Closed
    };

    RunLog(const Clock &clock, const QString &folder, QObject *parent = nullptr);
    // Waits a moment for the lines not yet written.
    ~RunLog() override;

    // The log folder in the PC's data folder (the database file's).
    static QString folderIn(const QString &dataFolder);

    QString path() const { return m_path; }

    // Writes the scheduler's events as they come, each file as named gives
    // it (a recording from the server by the name the schedule gives it,
    // not its cached file's).
    void follow(const Scheduler &scheduler, std::function<QString(const QString &)> named = {});
    // Also hands each event to observer, after its line is written.
    void observe(std::function<void(const RunEvent &)> observer)
    {
        m_observer = std::move(observer);
    }

    // The office's announcements as they play, fail or are missed.
    void follow(const Announcer &announcer);
    // A sound still playing was silenced for another: the instruction of
    // second by an announcement, or an announcement by the instruction.
    void cutOff(const QTime &second, const QString &file, const QString &by,
                std::optional<qint64> announcement = {});

    void started(const QString &subject, int instructions);
    // Whether the clock the run plays by is kept right.
    void clockHealth(const ClockHealth::Reading &reading);
    void played(const QTime &second, qint64 delayMs, const QString &file);
    void missed(const QTime &second, const QString &file);
    void failed(const QTime &second, const QString &file, const QString &reason,
                Scheduler::Failure failure);
    void clockStepped(const QDateTime &from, const QDateTime &to);
    // The run read its subject again from the server; what says what moved.
    void scheduleChanged(const QString &what);
    void ended(End how);

signals:
    // Said once, a moment after the line that failed; the run goes on
    // without its log.
    void unwritable(const QString &path, const QString &reason);

private:
    enum class Output
    {
        Unknown,
        Working,
        Lost
    };

    void write(QStringList fields);
    void announced(const QString &what, const Announcer::Announcement &announcement,
                   std::optional<qint64> delayMs, const QString &reason);
    void fail(const QString &reason);
    // A play that fails after one succeeded, or the other way round, is
    // the sound output going and coming back.
    void noteOutput(Output state, const QString &reason = {});
    void tell(RunEvent event);

    const Clock &m_clock;
    QString m_path;
    Output m_output = Output::Unknown;
    bool m_broken = false;
    std::function<void(const RunEvent &)> m_observer;
    // Last, so that it goes first: it may still report to this object.
    std::unique_ptr<RunLogWriter> m_writer;
};
