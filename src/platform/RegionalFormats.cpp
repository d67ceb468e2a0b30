#include "platform/RegionalFormats.h"

#include <QRegularExpression>

namespace {

QString withoutTimeZone(QString format)
{
    // "t" outside quotes is the zone; drop it with the blanks that set it off.
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    return format.replace(zone, QStringLiteral(" ")).trimmed();
}

} // namespace

RegionalFormats::RegionalFormats(const QLocale &locale)
    : m_locale(locale), m_dateFormat(locale.dateFormat(QLocale::ShortFormat)),
      m_timeFormat(withoutTimeZone(locale.timeFormat(QLocale::LongFormat)))
{}

QString RegionalFormats::shortDate(const QDate &date) const
{
    return m_locale.toString(date, m_dateFormat);
}

QString RegionalFormats::longTime(const QTime &time) const
{
    return m_locale.toString(time, m_timeFormat);
}

QString RegionalFormats::dateTime(const QDateTime &value) const
{
    if (!value.isValid())
        return {};
    const QTime time = value.time();
    const QString date = shortDate(value.date());
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + longTime(time);
}
