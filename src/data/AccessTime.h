#pragma once

#include <QDateTime>
#include <QTime>
#include <QVariant>

// Dates and times as an Access schedule holds them: Date/Time columns (a
// play time alone lies on day 1899-12-30), or Text columns written in the
// regional forms of Chinese Windows: short dates "2026/6/7", "2026-6-7",
// "2026.6.7", "26/6/7", "2026年6月7日"; times "8:30:00", "08:30", with
// 上午/下午 or AM/PM before or after. Full-width digits and colons count as
// their plain forms. Anything else is not read: the result is invalid.
namespace AccessTime {

// A date with an optional time of day (midnight when absent, as such texts
// leave it out).
QDateTime dateTime(const QVariant &value);
// The time of day to the second; a date before it is ignored.
QTime timeOfDay(const QVariant &value);

} // namespace AccessTime
