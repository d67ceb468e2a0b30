#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// What a run did and showed, moment by moment.
struct TimelineEvent
{
    enum class Kind
    {
        // A sound started (ms: its length).
        Play,
        // A sound still playing was silenced (ms: how long it had played).
        CutOff,
        // The device could not open a file (text: why).
        OpenFailed,
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

    friend bool operator==(const TimelineEvent &, const TimelineEvent &) = default;
};

using Timeline = QList<TimelineEvent>;
