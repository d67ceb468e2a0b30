#include "Rehearsal.h"

#include "OutcomeRecorder.h"
#include "RecordingDisplay.h"
#include "RecordingPlayer.h"
#include "SilentMediaPlayer.h"

#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/Scheduler.h"

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
// from its interval and starts after each call into the scheduler, as the
// real timer takes them: a timer that was started, or that fired, ticks one
// interval later; the others keep their moment.
struct Due
{
    int starts = 0;
    QDateTime next;
};

void follow(Due &due, const Timer &timer, const QDateTime &now, bool fired)
{
    if (timer.starts() != due.starts || fired)
        due.next = timer.interval() == 0 ? QDateTime() : now.addMSecs(timer.interval());
    due.starts = timer.starts();
}

// A wait of the play timer is armed at an instruction's second, which its
// first tick hits to the millisecond (a wait of 0 or 1 ms, stretched to an
// interval of 2, still ends on that second).
void followPlayTimer(Due &due, const Timer &timer, const QDateTime &now, bool fired)
{
    const bool armed = timer.starts() != due.starts && timer.interval() > 1;
    follow(due, timer, now, fired);
    if (armed)
        due.next = due.next.addMSecs(-due.next.time().msec());
}

bool before(const QDateTime &a, const QDateTime &b)
{
    return a.isValid() && (!b.isValid() || a <= b);
}

} // namespace

Timeline Rehearsal::run()
{
    Timeline timeline;
    SimulatedClock clock(m_.from);
    SilentMediaPlayer silent;
    RecordingPlayer device(silent, clock, timeline);
    RecordingDisplay display(clock, timeline);
    if (m_.instructions.isEmpty()) {
        display.showMessage(QStringLiteral("没有要播放的文件"));
        return timeline;
    }
    Timer Timer1;
    Timer Timer3;
    Scheduler scheduler({device, Timer1, Timer3, clock, display, m_.soundPath});
    const OutcomeRecorder outcomes(scheduler, device, clock, timeline);

    Due play;
    Due displaySwitch;
    scheduler.start(m_.instructions);
    followPlayTimer(play, Timer1, clock.now(), false);
    follow(displaySwitch, Timer3, clock.now(), false);
    // Every instruction takes a handful of events; more means a loop.
    const int limit = 16 * (int(m_.instructions.size()) + 4);
    for (int events = 0; play.next.isValid() || displaySwitch.next.isValid(); ++events) {
        if (events > limit)
            throw std::runtime_error("the rehearsal did not come to an end");
        // On the same millisecond the play timer comes first, as it is aimed
        // at the second.
        const bool plays = before(play.next, displaySwitch.next);
        clock.set(plays ? play.next : displaySwitch.next);
        if (plays)
            scheduler.Timer1Timer();
        else
            scheduler.Timer3Timer();
        followPlayTimer(play, Timer1, clock.now(), plays);
        follow(displaySwitch, Timer3, clock.now(), !plays);
    }
    return timeline;
}
