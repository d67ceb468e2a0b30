#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTime>
#include <functional>

class Clock;
class MediaPlayer;
class Query;
class RunDisplay;
class Timer;

// Plays a subject's instructions, each when the clock reaches its time of
// day, and keeps the display on the instruction playing or next.
//
// The queue is an open query of the subject's rows in play-time order, its
// cursor moved between ticks. Timer1's interval is the scheduler's state:
// 0 stopped, 1 a pending re-evaluation that plays nothing, anything else
// the wait until the armed instruction, whose tick plays it. Timer3 switches
// the display to the instruction armed last.
class Scheduler final : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        Query &queue;
        MediaPlayer &device;
        Timer &Timer1;
        Timer &Timer3;
        const Clock &clock;
        RunDisplay &display;
        // The sound file path of a row's file name.
        std::function<QString(const QString &)> soundPath;
    };

    explicit Scheduler(Parts parts, QObject *parent = nullptr);

    static QString unpaddedTime(const QTime &time);

    // Called once when the queue holds at least one row.
    void start();
    void Timer1Timer();
    void Timer3Timer();

    // The texts of the instruction armed last, and the end marker.
    const QString &label6() const { return m_label6; }
    const QString &Label4() const { return m_label4; }
    const QString &Label5() const { return m_label5; }

private:
    QTime rowTime() const;
    QDateTime targetOf(const QTime &time) const;
    bool isMissed(const QTime &time) const;
    // Sets Timer1 to the wait until the row's second and stores its file as
    // the device's next sound.
    void armRow(const QTime &time);
    void play();
    void peek();
    void evaluate();
    void evaluateOnceArmedSecondBegun();
    void showRow(const QString &prefix, const QTime &time);

    Parts m_;
    QDateTime m_armedTarget;
    bool m_tickInProgress = false;
    QString m_label6;
    QString m_label4;
    QString m_label5;
};
