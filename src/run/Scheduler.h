#pragma once

#include "platform/ClockWatch.h"
#include "run/QueueChange.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTime>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class InstructionQueue;
struct Instruction;
class MediaPlayer;
class RunDisplay;
class Timer;

// Plays a subject's instructions, each when the clock reaches its time of
// day, and keeps the display on the instruction playing or next.
//
// The queue is the subject's instructions in play-time order, its cursor
// moved between ticks. Timer1's interval is the scheduler's state:
// 0 stopped, 1 a pending re-evaluation that plays nothing, anything else
// the wait until the armed instruction, whose tick plays it. Timer3 switches
// the display to the instruction armed last.
//
// Whoever drives it calls start() once, the two timer handlers when their
// timers fire, and checkClock() regularly (the run window: every second), so
// that a wall clock set during a wait re-aims the wait and the armed
// instruction's sound is got ready a few seconds before its second.
class Scheduler final : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        MediaPlayer &device;
        Timer &Timer1;
        Timer &Timer3;
        const Clock &clock;
        RunDisplay &display;
        // The sound file path of a row's file name.
        std::function<QString(const QString &)> soundPath;
        // Why a sound file that cannot be opened is not there, when the run
        // knows better than the decoder; empty when it does not.
        std::function<QString(const QString &)> absence = {};
    };

    enum class Failure
    {
        // The sound file could not be opened or read.
        File,
        // The file opened but the sound output started nothing.
        Output
    };
    Q_ENUM(Failure)

    explicit Scheduler(Parts parts, QObject *parent = nullptr);
    ~Scheduler() override;

    static QString unpaddedTime(const QTime &time);

    // Called once, with at least one instruction in play-time order.
    void start(QList<Instruction> instructions);
    void Timer1Timer();
    void Timer3Timer();

    // Compares the wall clock with a monotonic one; when the wall clock was
    // set since the last check, reports the step and calls clockStepped().
    // Also reports a sound that broke off since the last check, and has the
    // device prepare the armed instruction's sound once its second is near.
    void checkClock();
    // The wall clock was set: the armed instruction is judged again against
    // the new time of day. Passed, it is skipped as missed; still ahead, its
    // wait is aimed at its second on the new clock. Played instructions never
    // come round again.
    void clockStepped();

    // A change closer than this to the armed instruction's second leaves it
    // as it was: its sound is already being prepared.
    static constexpr qint64 FrozenMs = 2000;

    // The subject's instructions changed while it runs: fresh holds them as
    // read anew, in play-time order. Every instruction is judged again as after a step of the
    // clock: one that played, failed or was missed in this run never plays
    // again, one ahead plays at its (new) second, one removed no longer
    // plays, one added plays if its second is ahead. Returns what changed.
    QueueChange follow(QList<Instruction> fresh);

    struct Silenced
    {
        QTime second;
        QString file;
    };
    // Something else must sound now (the office's announcement): the
    // instruction still sounding is silenced. Returns which it was.
    std::optional<Silenced> cutOff();

    // The instructions and the cursor the ticks move.
    const InstructionQueue &queue() const { return *m_queue; }
    InstructionQueue &queue() { return *m_queue; }

    // The texts of the instruction armed last, and the end marker.
    const QString &label6() const { return m_label6; }
    const QString &Label4() const { return m_label4; }
    const QString &Label5() const { return m_label5; }

signals:
    // Right after the play call: delayMs is how long after its second the
    // sound's start is heard as far as the device can tell, otherwise until
    // the call returned, the sound let go.
    void played(const QTime &second, qint64 delayMs, const QString &file);
    // Once a sound plays: the instruction's explanation and the sound's length.
    void speaking(const QString &explanation, qint64 lengthMs);
    // The sound that spoke stopped before its end: cut off by the next
    // instruction's play, or broken off.
    void silenced();
    void missed(const QTime &second, const QString &file);
    void failed(const QTime &second, const QString &file, const QString &reason,
                Scheduler::Failure failure);
    // from is what the clock would read without the step, to what it reads.
    void clockStepSeen(const QDateTime &from, const QDateTime &to);

private:
    struct Armed
    {
        qint64 id = -1;
        QTime time;
        QString file;
        QString explanation;
        // The row's file name, which file stands for.
        QString name;
    };

    QString rowFile() const;
    // Played, failed or missed rows stay passed whatever the clock says.
    bool rowPassed(const QTime &time, const QDateTime &at) const;
    void noteMissed(qint64 id, const QTime &time, const QString &file);
    QList<QueueChange::Row> rows(const QList<Instruction> &instructions) const;
    // Sets Timer1 to the wait until the row's second and stores its file as
    // the device's next sound.
    void armRow(const QTime &time);
    void aim();
    // The recording a file name stands for may have been replaced since
    // the row was armed: the device is given the one it stands for now.
    void resolveArmed();
    void prepareIfNear(const QDateTime &now);
    // Empty when a sound started; otherwise what the invigilator is told.
    // A failure is reported through failed() too.
    QString play(const QDateTime &second);
    // Why the output did not play a file that opened, in Chinese.
    static QString outputFailure(const QString &detail);
    // A sound that started and then broke off (the sound server went away)
    // is reported as a failure of its instruction, once.
    void reportBrokenOff();
    void peek();
    void evaluate(const QDateTime &at);
    void showRow(const QString &prefix, const QTime &time);

    Parts m_;
    // Held apart, so that this header leaves the schedule's names to those
    // who include it.
    std::unique_ptr<InstructionQueue> m_queue;
    ClockWatch m_watch;
    Armed m_armed;
    // The instruction whose sound started last, until reported broken off.
    Armed m_sounding;
    // When the sound that started last ends, by the clock.
    QDateTime m_soundEnds;
    // The rows played, failed or missed in this run, by identity.
    QSet<qint64> m_done;
    bool m_started = false;
    // The instruction on display was passed over by a jump of the clock: the
    // next arming shows its own instead of waiting for a display switch.
    bool m_showPassed = false;
    QString m_label6;
    QString m_label4;
    QString m_label5;
};
