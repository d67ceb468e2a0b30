#pragma once

#include "Timeline.h"

#include <QObject>

class Clock;
class MediaPlayer;
class Scheduler;

// Writes what the scheduler reports of each instruction into a timeline:
// played (with the length of its sound), failed (with the reason) or missed.
class OutcomeRecorder final : public QObject
{
    Q_OBJECT

public:
    OutcomeRecorder(const Scheduler &scheduler, const MediaPlayer &device, const Clock &clock,
                    Timeline &timeline);
    Q_DISABLE_COPY_MOVE(OutcomeRecorder)

private:
    void record(TimelineEvent::Kind kind, const QTime &second, const QString &file,
                const QString &text, qint64 ms);

    const Clock &m_clock;
    Timeline &m_timeline;
};
