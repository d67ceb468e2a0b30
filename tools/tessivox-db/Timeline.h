#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

// What a run did and showed, moment by moment.
struct TimelineEvent
{
    enum class Kind
    {
        // The scheduler started an instruction's sound (ms: its length).
        Play,
        // A sound still playing was silenced (ms: how long it had played).
        CutOff,
        // The scheduler could not play an instruction (text: why).
        Failed,
        // The scheduler passed over an instruction whose second had begun.
        Missed,
        // The play-time field, the memo, a message box (text: what it shows).
        PlayTime,
        Memo,
        Message
    };

    QDateTime at;
    Kind kind;
    // The sound file's path, for the sound events.
    QString file;
    QString text;
    qint64 ms = 0;
    // The instruction's second, for Play, Failed and Missed.
    QTime second;

    friend bool operator==(const TimelineEvent &, const TimelineEvent &) = default;
};

using Timeline = QList<TimelineEvent>;
