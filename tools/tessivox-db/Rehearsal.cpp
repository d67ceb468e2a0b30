#include "Rehearsal.h"

#include "RecordingDisplay.h"
#include "RecordingPlayer.h"
#include "SilentMediaPlayer.h"

#include "data/Query.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/Scheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <stdexcept>

namespace {

class SimulatedClock final : public Clock
{
public:
    explicit SimulatedClock(QDateTime start) : m_now(std::move(start)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &moment) { m_now = moment; }

private:
    QDateTime m_now;
};

// The moment a timer fires next (invalid: stopped), followed from the
// interval it has after each call into the scheduler.
struct Due
{
    int interval = 0;
    QDateTime next;
};

// Each timer is read after every call into the scheduler, and a change is
// taken as the real timer takes it. The play timer's waits are armed at an
// instruction's second, which its tick hits to the millisecond (a wait of 0
// or 1 ms, stretched to an interval of 2, still ends on that second).
void followPlayTimer(Due &due, int interval, const QDateTime &now)
{
    due.interval = interval;
    if (interval == 0)
        due.next = {};
    else if (interval == 1)
        due.next = now.addMSecs(1);
    else {
        const QDateTime end = now.addMSecs(interval);
        due.next = end.addMSecs(-end.time().msec());
    }
}

// The display-switch timer restarts only when its interval changes; one that
// fired and kept its interval fires again one interval later.
void followSwitchTimer(Due &due, int interval, const QDateTime &now, bool fired)
{
    if (interval != due.interval || fired)
        due.next = interval == 0 ? QDateTime() : now.addMSecs(interval);
    due.interval = interval;
}

constexpr int EvaluationWaitLimitMs = 2000;

} // namespace

Timeline Rehearsal::run()
{
    Timeline timeline;
    SimulatedClock clock(m_.from);
    SilentMediaPlayer silent;
    RecordingPlayer device(silent, clock, timeline);
    RecordingDisplay display(clock, timeline);
    if (m_.queue.recordCount() == 0) {
        display.showMessage(QStringLiteral("没有要播放的文件"));
        return timeline;
    }
    Timer Timer1;
    Timer Timer3;
    Scheduler scheduler({m_.queue, device, Timer1, Timer3, clock, display, m_.soundPath});

    Due play;
    Due displaySwitch;
    scheduler.start();
    followPlayTimer(play, Timer1.interval(), clock.now());
    followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), false);

    // Every instruction takes a handful of events; more means a loop.
    const int limit = 16 * (m_.queue.recordCount() + 4);
    for (int events = 0; play.next.isValid() || displaySwitch.next.isValid(); ++events) {
        if (events > limit)
            throw std::runtime_error("the rehearsal did not come to an end");
        // On the same millisecond the play timer comes first: it is aimed at
        // the second, while the switch was started after a play's work.
        if (play.next.isValid() &&
            (!displaySwitch.next.isValid() || play.next <= displaySwitch.next)) {
            clock.set(play.next);
            const bool plays = Timer1.interval() != 1;
            const int interval = Timer1.interval();
            const int stored = device.fileNamesStored();
            scheduler.Timer1Timer();
            followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), false);
            // A play tick on its very second leaves the evaluation to the
            // scheduler's own single-shot timer, which fires once the second
            // has begun: the simulated clock moves on by a millisecond and
            // the real event loop runs until that evaluation has been made.
            if (plays && Timer1.interval() == interval && device.fileNamesStored() == stored) {
                clock.set(clock.now().addMSecs(1));
                QElapsedTimer waited;
                waited.start();
                while (Timer1.interval() == interval && device.fileNamesStored() == stored) {
                    if (waited.elapsed() > EvaluationWaitLimitMs)
                        throw std::runtime_error("the scheduler did not evaluate after a play");
                    QCoreApplication::processEvents(QEventLoop::AllEvents);
                }
                followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), false);
            }
            followPlayTimer(play, Timer1.interval(), clock.now());
        } else {
            clock.set(displaySwitch.next);
            scheduler.Timer3Timer();
            followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), true);
        }
    }
    return timeline;
}
