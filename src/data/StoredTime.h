#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

// How dates and times are kept in the database file: date-times as
// "YYYY-MM-DD HH:MM:SS", play times as "HH:MM:SS" (24 h, zero-padded).
// Reading is lenient: a play time may carry a date part or milliseconds,
// and only its time of day (to the second) is used.
namespace StoredTime {

QString fromDateTime(const QDateTime &value);
QString fromTime(const QTime &value);
// An invalid QDateTime when the text is empty or not understood. Also reads
// a date with slashes and one-digit months, days and hours.
QDateTime toDateTime(const QString &text);
// An invalid QTime when the text is empty or not understood.
QTime toTime(const QString &text);

} // namespace StoredTime
