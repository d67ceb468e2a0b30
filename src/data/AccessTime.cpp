#include "data/AccessTime.h"

#include <QRegularExpression>

namespace {

struct Parts
{
    QDate date;
    QTime time;
    bool hasDate = false;
    bool hasTime = false;
};

// A two-digit year as Windows reads it: up to 29 in this century.
int fullYear(const QString &digits)
{
    const int year = digits.toInt();
    return digits.size() > 2 ? year : (year < 30 ? 2000 + year : 1900 + year);
}

std::optional<Parts> parse(const QString &raw)
{
    static const QRegularExpression form(
        QStringLiteral(
            R"(^(?:(?<year>\d{4}|\d{2})(?:(?<sep>[-/.])(?<month>\d{1,2})\k<sep>(?<day>\d{1,2})|)"
            R"(年(?<cmonth>\d{1,2})月(?<cday>\d{1,2})日)(?:\s+|$))?)"
            R"((?:(?<before>上午|下午|AM|PM)\s*)?)"
            R"((?:(?<hour>\d{1,2}):(?<minute>\d{2})(?::(?<second>\d{2})(?:\.\d+)?)?)"
            R"((?:\s*(?<after>上午|下午|AM|PM))?)?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = raw.normalized(QString::NormalizationForm_KC).trimmed();
    const QRegularExpressionMatch m = form.match(text);
    if (text.isEmpty() || !m.hasMatch())
        return std::nullopt;
    Parts parts;
    if (!m.captured(QStringLiteral("year")).isEmpty()) {
        const bool chinese = !m.captured(QStringLiteral("cmonth")).isEmpty();
        parts.date =
            QDate(fullYear(m.captured(QStringLiteral("year"))),
                  m.captured(chinese ? QStringLiteral("cmonth") : QStringLiteral("month")).toInt(),
                  m.captured(chinese ? QStringLiteral("cday") : QStringLiteral("day")).toInt());
        if (!parts.date.isValid())
            return std::nullopt;
        parts.hasDate = true;
    }
    const QString before = m.captured(QStringLiteral("before"));
    const QString after = m.captured(QStringLiteral("after"));
    if (m.captured(QStringLiteral("hour")).isEmpty())
        return (before.isEmpty() && parts.hasDate) ? std::optional(parts) : std::nullopt;
    if (!before.isEmpty() && !after.isEmpty())
        return std::nullopt;
    int hour = m.captured(QStringLiteral("hour")).toInt();
    if (const QString marker = (before + after).toUpper(); !marker.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        const bool pm = marker == QStringLiteral("下午") || marker == QStringLiteral("PM");
        hour = hour % 12 + (pm ? 12 : 0);
    }
    parts.time = QTime(hour, m.captured(QStringLiteral("minute")).toInt(),
                       m.captured(QStringLiteral("second")).toInt());
    if (!parts.time.isValid())
        return std::nullopt;
    parts.hasTime = true;
    return parts;
}

} // namespace

namespace AccessTime {

QDateTime dateTime(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    const std::optional<Parts> parts = parse(value.toString());
    if (!parts || !parts->hasDate)
        return {};
    return QDateTime(parts->date, parts->hasTime ? parts->time : QTime(0, 0));
}

QTime timeOfDay(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime) {
        const QTime time = value.toDateTime().time();
        return QTime(time.hour(), time.minute(), time.second());
    }
    const std::optional<Parts> parts = parse(value.toString());
    return parts && parts->hasTime ? parts->time : QTime();
}

} // namespace AccessTime
