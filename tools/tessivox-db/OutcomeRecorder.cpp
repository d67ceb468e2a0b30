#include "OutcomeRecorder.h"

#include "platform/Clock.h"
#include "run/MediaPlayer.h"
#include "run/Scheduler.h"

OutcomeRecorder::OutcomeRecorder(const Scheduler &scheduler, const MediaPlayer &device,
                                 const Clock &clock, Timeline &timeline)
    : m_clock(clock), m_timeline(timeline)
{
    using Kind = TimelineEvent::Kind;
    connect(&scheduler, &Scheduler::played, this,
            [this, &device](const QTime &second, qint64, const QString &file) {
                // Reported right after the play call, with the file still open.
                record(Kind::Play, second, file, {}, device.length());
            });
    connect(&scheduler, &Scheduler::failed, this,
            [this](const QTime &second, const QString &file, const QString &reason) {
                record(Kind::Failed, second, file, reason, 0);
            });
    connect(&scheduler, &Scheduler::missed, this, [this](const QTime &second, const QString &file) {
        record(Kind::Missed, second, file, {}, 0);
    });
}

void OutcomeRecorder::record(TimelineEvent::Kind kind, const QTime &second, const QString &file,
                             const QString &text, qint64 ms)
{
    m_timeline.append({m_clock.now(), kind, file, text, ms, second});
}
