#include "RecordingDisplay.h"

#include "platform/Clock.h"

void RecordingDisplay::record(TimelineEvent::Kind kind, const QString &text)
{
    m_timeline.append({m_clock.now(), kind, {}, text, 0, {}});
}

void RecordingDisplay::setPlayTime(const QString &text)
{
    if (text != m_playTime)
        record(TimelineEvent::Kind::PlayTime, text);
    m_playTime = text;
}

void RecordingDisplay::setMemoLine(const QString &line)
{
    if (line != m_memo)
        record(TimelineEvent::Kind::Memo, line);
    m_memo = line;
}

void RecordingDisplay::showMessage(const QString &message)
{
    record(TimelineEvent::Kind::Message, message);
}
