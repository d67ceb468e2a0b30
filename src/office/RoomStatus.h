#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <optional>

class QSqlDatabase;

// What the exam office knows of one room: its row in room and the counts of
// its current or last run in room_event.
struct RoomStatus
{
    enum Problem
    {
        Unseen = 1,          // no sign of life for more than UnseenAfterMs
        Missed = 2,          // an instruction passed over in the run
        Failed = 4,          // an instruction that could not play
        ClockOff = 8,        // the clock further from the server's than the limit
        Refused = 16,        // the server refused some of its events
        SoundsNotReady = 32, // recordings the schedule names not yet in the room
        NameClash = 64,      // another PC lately tried to report under its name
    };
    static constexpr qint64 UnseenAfterMs = 2 * 60 * 1000;

    QString name;
    bool running = false;
    QString subject;
    QString version;
    QDateTime lastSeen;
    // Since lastSeen, by the server's clock; none for a room never seen.
    std::optional<qint64> unseenMs;
    std::optional<qint64> clockOffsetMs;
    QString runId;
    // The subject of the current or last run, also when idle.
    QString runSubject;
    // Why the server refused the room's last event it set aside.
    QString refused;
    int played = 0;
    int missed = 0;
    int failed = 0;
    std::optional<qint64> worstDelayMs;
    // Of the recordings the schedule names, how many the room holds; unknown
    // for a room that never said.
    std::optional<int> soundFilesHeld;
    std::optional<int> soundFilesNamed;
    // The other PC that tried to report as this room lately: its host name
    // and address.
    QString clash;
    // The next instruction of the running subject by the room's own clock.
    QTime nextDue;
    int problems = 0;

    bool isWell() const { return problems == 0; }

    // The room's problems in the reader's words: for not seen, events
    // refused (%1 the server's reason), clock off, missed (%1 the count),
    // failed (%1 the count), recordings not ready (%1 held, %2 named) and
    // another PC under its name (%1 that PC), joined by separator.
    struct ProblemWords
    {
        QString unseen, refused, clockOff, missed, failed, separator, soundsNotReady, nameClash;
    };
    QString problemText(const ProblemWords &words) const;

    // Every room, those with a problem first, then by name. now is the
    // office's clock, which places the rooms' clocks by their offsets.
    // Throws DbError.
    static QList<RoomStatus> readAll(const QSqlDatabase &db, int clockLimitMs,
                                     const QDateTime &now);

    // The events of the room's run, in order: at, kind, second, delay (ms),
    // file, reason.
    static QList<QStringList> runEvents(const QSqlDatabase &db, const QString &room,
                                        const QString &runId);
};
