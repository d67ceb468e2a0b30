#pragma once

#include <QString>
#include <QtGlobal>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// Counts what the process does while no sound plays: the wake-ups (context
// switches) and processor time of each of its threads over stretches of the
// wall clock, from a thread of its own that leaves itself out.
class QuietMeter final
{
public:
    struct Stretch
    {
        qint64 from;
        qint64 to;
    };

    // Stretches in microseconds since the epoch, in order, and what they
    // are in the printed line; measuring starts at once.
    QuietMeter(std::vector<Stretch> stretches, QString what);
    ~QuietMeter();
    Q_DISABLE_COPY_MOVE(QuietMeter)

    // Waits for the last stretch (or gives up on the rest) and prints the
    // rates, in total and by thread name.
    void print();

private:
    struct Thread
    {
        QString name;
        // Sleeps ended by a wake-up, and preemptions by other work.
        qint64 wakeUps = 0;
        qint64 preempted = 0;
        qint64 cpuNs = 0;
    };
    using Sample = std::map<int, Thread>;

    void measure();
    // False when stopped before the moment.
    bool waitUntil(qint64 micros);
    Sample sample() const;

    std::vector<Stretch> m_stretches;
    QString m_what;
    int m_ownThread = 0;
    // Summed over the stretches, by thread name.
    std::map<QString, Thread> m_totals;
    qint64 m_measuredUs = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
