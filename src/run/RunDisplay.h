#pragma once

#include <QString>

// What the instruction scheduler shows: the one-line play-time field and the
// explanation memo, both of which the invigilator may also edit, and the
// failure message of a play.
class RunDisplay
{
public:
    RunDisplay() = default;
    virtual ~RunDisplay() = default;
    Q_DISABLE_COPY_MOVE(RunDisplay)

    virtual void setPlayTime(const QString &text) = 0;
    virtual bool memoIsEmpty() const = 0;
    // Empties the memo and gives it this single line.
    virtual void setMemoLine(const QString &line) = 0;
    virtual void showPlayFailure(const QString &message) = 0;
};
