#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Puts an exam back (or brings it forward, minutes negative) by the server's
// clock, in one transaction: the subject's end, its start while still
// ahead, and every instruction more than LeadS ahead. Running rooms follow
// it through the server's notice of the change.
namespace ExamDelay {

// An instruction this close to its second may already be prepared in the
// rooms: it stays.
constexpr int LeadS = 5;
// A day either way: more would wrap a time of day onto itself.
constexpr int MostMinutes = 24 * 60 - 1;

struct Result
{
    // False when the server has no such subject; nothing changed then.
    bool found = false;
    QDateTime serverNow;
    // What moved and what stayed, one line each.
    QStringList lines;
    int instructionsMoved = 0;
    // Why nothing changed although the subject was found: an instruction
    // would cross midnight.
    QString refusal;

    // The whole report, headed by what was done where.
    QString text(const QString &subject, int minutes, const QString &shownServer) const;
};

// Throws DbError (a server that cannot be reached or refuses the change).
Result apply(const QString &uri, const QString &subject, int minutes);

} // namespace ExamDelay
