#include "Format.h"

#include <QStringList>

namespace {

bool isWide(char32_t c)
{
    // The East Asian Wide and Fullwidth blocks: Hangul Jamo, CJK radicals
    // through Yi (without the half-width ideographic space), Hangul
    // syllables, CJK compatibility ideographs and forms, full-width forms,
    // and the supplementary ideographic planes.
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

int widthOf(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
        category == QChar::Other_Format)
        return 0;
    return isWide(c) ? 2 : 1;
}

QString seconds(qint64 ms)
{
    QString text = QString::number(double(ms) / 1000.0, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text + QStringLiteral(" s");
}

} // namespace

namespace Format {

QString second(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString moment(const QDateTime &moment)
{
    return moment.time().toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString duration(qint64 ms)
{
    const qint64 hours = ms / 3600000;
    const qint64 minutes = ms / 60000 % 60;
    QStringList parts;
    if (hours > 0)
        parts << QStringLiteral("%1 h").arg(hours);
    if (minutes > 0)
        parts << QStringLiteral("%1 min").arg(minutes);
    if (ms % 60000 > 0 || parts.isEmpty())
        parts << seconds(ms % 60000);
    return parts.join(QLatin1Char(' '));
}

int displayWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += widthOf(c);
    return width;
}

QString elided(const QString &text, int columns)
{
    if (displayWidth(text) <= columns)
        return text;
    QString kept;
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        // One column stays free for the ellipsis.
        if (width + widthOf(c) > columns - 1)
            break;
        width += widthOf(c);
        kept += QString::fromUcs4(&c, 1);
    }
    return kept + QStringLiteral("…");
}

} // namespace Format
