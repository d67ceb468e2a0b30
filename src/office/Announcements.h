#pragma once

#include "data/SoundStore.h"
#include <QDate>

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <chrono>
#include <optional>

class QSqlDatabase;
class ServerLink;

// What the exam office says to the rooms: a recording the server holds, a
// text, and the second of the day at which every room it is for plays it,
// at least LeadS ahead so that each room has its sound ready by then. The
// office writes the table announcement; the rooms read it, learn of a change
// through the server's notice on Channel, and report what became of each
// announcement as events of kind "announcement played" / "... failed" /
// "... missed" that carry its id.
namespace Announcements {

inline const QString Channel = QStringLiteral("tessivox_announcement");
constexpr int LeadS = 10;
// What a room needs between learning of an announcement and its second.
constexpr int ReadyMs = 1000;
// A room that played this far ahead of the second by the server's clock is
// flagged: its clock is fast.
constexpr qint64 EarlyMs = 1000;

// The table and its notice, within the caller's transaction. Throws DbError.
void create(const QSqlDatabase &db);

struct Due
{
    qint64 id = 0;
    QTime second;
    QString text;
    // The recording as the server holds it.
    QString file;
    QString sha256;
    qint64 size = 0;
    // The room reported on it already, from this PC or another.
    bool reported = false;
};

// The announcements of day for the room, in the order they play. Throws
// DbError.
QList<Due> readFor(const QSqlDatabase &db, const QString &room, const QDate &day);

// The recordings a room fetches for due at now: only of those still to
// come that are not handled, soonest first. One whose second has passed is
// never played, and fetching it (it may be large) would only hold up those
// still to come.
QList<SoundStore::Held> toFetch(const QList<Due> &due, const QTime &now,
                                const QSet<qint64> &handled);

struct Request
{
    QString path;
    QTime second;
    // Empty: every room.
    QStringList rooms;
    QString text;
};

struct Published
{
    qint64 id = 0;
    QDate day;
    // The name the recording has on the server.
    QString file;
    // Whether its content had to be sent.
    bool sent = false;
    // Rooms whose clocks run so far ahead that they miss it, each with how
    // far.
    QStringList fastRooms;
};

// Stores the recording at request.path on the server where it does not hold
// it (under its file name, or, where the server holds another content by
// that name, under the name with the content's digest), then the
// announcement for today by the server's clock. Throws DbError: a file that
// is not a sound file, a second less than LeadS ahead, a login that may not
// write announcements, a server that does not answer.
Published publish(ServerLink &link, const Request &request, std::chrono::milliseconds deadline);

struct Outcome
{
    QString room;
    // "played", "failed", "missed", or empty for a room that did not say.
    QString what;
    std::optional<qint64> delayMs;
    QString reason;

    // Why it failed; empty for any other outcome, whose reason a room
    // fills with the announcement's text.
    QString failure() const;
};

struct Report
{
    qint64 id = 0;
    QTime second;
    QString text;
    QString file;
    QStringList rooms;
    // Every room the announcement is for that the server knows of, and
    // any other that answered.
    QList<Outcome> outcomes;

    // One line: how many played and how late the latest, failed, missed,
    // not heard from.
    QString summary() const;
};

// Today's announcements by the server's clock, the latest first. Throws
// DbError.
QList<Report> today(const QSqlDatabase &db);

} // namespace Announcements
