#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The user's short date and long time formats, read once at start. Qt's
// long time formats carry a time zone ("t"), which these texts never show.
class RegionalFormats final
{
public:
    explicit RegionalFormats(const QLocale &locale = QLocale::system());

    QString shortDate(const QDate &date) const;
    QString longTime(const QTime &time) const;
    // The short date, then, unless the time is exactly midnight to the
    // second, one blank and the long time.
    QString dateTime(const QDateTime &value) const;

    const QString &shortDateFormat() const { return m_dateFormat; }
    const QString &longTimeFormat() const { return m_timeFormat; }

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
};
