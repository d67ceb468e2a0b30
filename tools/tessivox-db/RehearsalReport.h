#pragma once

#include "schedule/Schedule.h"
#include "Timeline.h"

#include <QJsonObject>
#include <functional>

class QTextStream;

// What became of each instruction in a rehearsal, and the timeline with the
// end of every sound that played to its end, as a table or as JSON.
class RehearsalReport final
{
public:
    struct Outcome
    {
        enum class Kind
        {
            Played,
            CutOff,
            Failed,
            Missed
        };

        Kind kind = Kind::Missed;
        // When it started playing, or failed to.
        QDateTime at;
        qint64 lengthMs = 0;
        qint64 heardMs = 0;
        // The instruction that cut it off.
        int cutOffBy = 0;
        // Why it failed or was missed.
        QString reason;
    };

    RehearsalReport(Subject subject, const Timeline &timeline,
                    const std::function<QString(const QString &)> &soundPath, QDateTime from);
    Q_DISABLE_COPY_MOVE(RehearsalReport)

    const QList<Outcome> &outcomes() const { return m_outcomes; }
    // Whether every instruction still ahead when the run starts is heard.
    bool everyInstructionAheadPlays() const;

    void print(QTextStream &out, const QString &soundFolder) const;
    QJsonObject toJson(const QString &soundFolder) const;

private:
    // A timeline event, or the end of a sound (kind Play with ended set).
    struct Line
    {
        TimelineEvent event;
        // 0 for the display's events.
        int instruction = 0;
        bool ended = false;
    };

    int instructionOf(const TimelineEvent &event, int after) const;
    void resolve(const Timeline &timeline);
    void addEnds();
    QString missedReason(const Instruction &instruction) const;
    QString describe(const Line &line) const;
    QString describe(const Outcome &outcome) const;

    Subject m_subject;
    std::function<QString(const QString &)> m_soundPath;
    QDateTime m_from;
    QList<Outcome> m_outcomes;
    QList<Line> m_lines;
};
