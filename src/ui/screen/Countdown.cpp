#include "ui/screen/Countdown.h"

namespace {

constexpr qint64 ClosingSeconds = 15 * 60;
constexpr qint64 FinalSeconds = 5 * 60;
constexpr qint64 DaySeconds = 24 * 3600;

QString duration(qint64 seconds)
{
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(seconds % DaySeconds / 3600, 2, 10, QLatin1Char('0'))
                              .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'))
                              .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    // An exam days ahead is a subject set up early, not an error.
    return seconds >= DaySeconds ? QStringLiteral("%1天 %2").arg(seconds / DaySeconds).arg(clock)
                                 : clock;
}

} // namespace

Countdown Countdown::at(const QDateTime &now, const QDateTime &start, const QDateTime &end)
{
    if (!end.isValid())
        return {};
    if (start.isValid() && now < start)
        return {Phase::BeforeStart, QStringLiteral("距离考试开始 ") + duration(now.secsTo(start))};
    const qint64 left = now.secsTo(end);
    if (left <= 0)
        return {Phase::Over, QStringLiteral("考试结束")};
    const Phase phase = left <= FinalSeconds     ? Phase::Final
                        : left <= ClosingSeconds ? Phase::Closing
                                                 : Phase::Running;
    return {phase, QStringLiteral("距离考试结束 ") + duration(left)};
}
