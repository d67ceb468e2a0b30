#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

// How the commands write times and durations, in tables and in JSON.
namespace Format {

// "08:05:00"
QString second(const QTime &time);
// "08:05:00.250"
QString moment(const QDateTime &moment);
// "0.5 s", "20 s", "14 min 50 s", "1 h 44 min 40.25 s"; to the millisecond.
QString duration(qint64 ms);
// Columns the text takes in a terminal: East Asian wide and full-width
// characters take two, combining marks none.
int displayWidth(const QString &text);
// The text cut to at most columns, with "…" where it was cut.
QString elided(const QString &text, int columns);

} // namespace Format
