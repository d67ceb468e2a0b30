#pragma once

#include <QDate>
#include <QList>
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
};

// The announcements of day for the room, in the order they play. Throws
// DbError.
QList<Due> readFor(const QSqlDatabase &db, const QString &room, const QDate &day);

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
