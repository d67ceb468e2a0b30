#include "data/StoredTime.h"

#include <QRegularExpression>

namespace {

// The forms SQLite's own date functions understand, without time zones, so
// that what reads back here is also what "ORDER BY time(playtime)" sorts by.
// Groups: year, month, day, hour, minute, second, fraction.
const QRegularExpression &storedForm()
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:(\d{4})-(\d{2})-(\d{2})(?:[ T]|$))?)"
                       R"((?:(\d{2}):(\d{2})(?::(\d{2})(?:\.(\d+))?)?)?\s*$)"));
    return form;
}

// Exam start and end times as other programs and people also write them: a
// date with slashes, one-digit months, days and hours. They are shown, never
// scheduled, so no ordering depends on them; a play time is read only in the
// stored forms, so that what the run plays by is also what it sorts by.
const QRegularExpression &dateTimeForm()
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:(\d{4})[-/](\d{1,2})[-/](\d{1,2})(?:[ T]|$))?)"
                       R"((?:(\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d+))?)?)?\s*$)"));
    return form;
}

int number(const QRegularExpressionMatch &match, int group)
{
    return match.captured(group).toInt();
}

int milliseconds(const QString &fraction)
{
    return fraction.isEmpty() ? 0 : fraction.left(3).leftJustified(3, u'0').toInt();
}

QTime timeOf(const QRegularExpressionMatch &match, bool withMilliseconds)
{
    if (!match.hasCaptured(4))
        return QTime(0, 0);
    const int ms = withMilliseconds ? milliseconds(match.captured(7)) : 0;
    return QTime(number(match, 4), number(match, 5), number(match, 6), ms);
}

} // namespace

namespace StoredTime {

QString fromDateTime(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString fromTime(const QTime &value)
{
    return value.toString(QStringLiteral("HH:mm:ss"));
}

QDateTime toDateTime(const QString &text)
{
    const QRegularExpressionMatch match = dateTimeForm().match(text);
    if (!match.hasMatch() || !match.hasCaptured(1))
        return {};
    const QDate date(number(match, 1), number(match, 2), number(match, 3));
    const QTime time = timeOf(match, true);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

QTime toTime(const QString &text)
{
    const QRegularExpressionMatch match = storedForm().match(text);
    if (!match.hasMatch() || !match.hasCaptured(4))
        return {};
    if (match.hasCaptured(1) &&
        !QDate(number(match, 1), number(match, 2), number(match, 3)).isValid())
        return {};
    return timeOf(match, false);
}

} // namespace StoredTime
