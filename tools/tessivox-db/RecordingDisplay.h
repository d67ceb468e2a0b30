#pragma once

#include "Timeline.h"

#include "run/RunDisplay.h"

class Clock;

// The run window's play-time field and memo, kept as texts, with every change
// and every message written into a timeline. A message box is taken as
// closed at once.
class RecordingDisplay final : public RunDisplay
{
public:
    RecordingDisplay(const Clock &clock, Timeline &timeline) : m_clock(clock), m_timeline(timeline)
    {}
    Q_DISABLE_COPY_MOVE(RecordingDisplay)

    void setPlayTime(const QString &text) override;
    bool memoIsEmpty() const override { return m_memo.isEmpty(); }
    void setMemoLine(const QString &line) override;
    void showPlayFailure(const QString &message) override { showMessage(message); }
    // A message of the run window itself.
    void showMessage(const QString &message);

private:
    void record(TimelineEvent::Kind kind, const QString &text);

    const Clock &m_clock;
    Timeline &m_timeline;
    QString m_playTime;
    QString m_memo;
};
