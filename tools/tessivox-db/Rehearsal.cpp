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
#include <QTimer>
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

// When one of the scheduler's timers fires next (invalid: stopped), followed
// from the interval it has after each call into the scheduler, as the real
// timer takes a change.
struct Due
{
    int interval = 0;
    QDateTime next;
};

// The play timer's waits are armed at an instruction's second, which its tick
// hits to the millisecond (a wait of 0 or 1 ms, stretched to an interval of
// 2, still ends on that second).
void followPlayTimer(Due &due, int interval, const QDateTime &now)
{
    due.interval = interval;
    if (interval == 0) {
        due.next = {};
    } else if (interval == 1) {
        due.next = now.addMSecs(1);
    } else {
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

bool before(const QDateTime &a, const QDateTime &b)
{
    return a.isValid() && (!b.isValid() || a <= b);
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
    // A play tick on its very second leaves the evaluation to the scheduler's
    // own single-shot timer, which fires once the second has begun; until
    // then the play timer waits (a tick of it would be ignored).
    QDateTime evaluation;
    int intervalAtPlay = 0;
    int storedAtPlay = 0;
    const auto evaluated = [&] {
        return Timer1.interval() != intervalAtPlay || device.fileNamesStored() != storedAtPlay;
    };

    QTimer limitTimer;
    limitTimer.setSingleShot(true);
    limitTimer.setInterval(EvaluationWaitLimitMs);

    scheduler.start();
    followPlayTimer(play, Timer1.interval(), clock.now());
    followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), false);
    // Every instruction takes a handful of events; more means a loop.
    const int limit = 16 * (m_.queue.recordCount() + 4);
    for (int events = 0;
         play.next.isValid() || displaySwitch.next.isValid() || evaluation.isValid(); ++events) {
        if (events > limit)
            throw std::runtime_error("the rehearsal did not come to an end");
        // On the same millisecond the play timer comes first, as it is aimed
        // at the second, and the switch comes before a deferred evaluation,
        // as both were started in a play's work.
        if (before(play.next, displaySwitch.next) && before(play.next, evaluation)) {
            clock.set(play.next);
            const bool plays = Timer1.interval() != 1;
            intervalAtPlay = Timer1.interval();
            storedAtPlay = device.fileNamesStored();
            scheduler.Timer1Timer();
            followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), false);
            if (plays && !evaluated()) {
                evaluation = clock.now().addMSecs(1);
                play.next = {};
            } else {
                followPlayTimer(play, Timer1.interval(), clock.now());
            }
        } else if (before(displaySwitch.next, evaluation)) {
            clock.set(displaySwitch.next);
            scheduler.Timer3Timer();
            followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), true);
        } else {
            // The simulated clock stands on the new millisecond while the
            // real event loop runs until the scheduler's timer has fired.
            clock.set(evaluation);
            evaluation = {};
            // Sleeping until an event comes costs the least on a busy machine;
            // the limit's own timer makes sure one does.
            QElapsedTimer waited;
            waited.start();
            limitTimer.start();
            while (!evaluated()) {
                if (waited.elapsed() >= EvaluationWaitLimitMs)
                    throw std::runtime_error("the scheduler did not evaluate after a play");
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            limitTimer.stop();
            followPlayTimer(play, Timer1.interval(), clock.now());
            followSwitchTimer(displaySwitch, Timer3.interval(), clock.now(), false);
        }
    }
    return timeline;
}
