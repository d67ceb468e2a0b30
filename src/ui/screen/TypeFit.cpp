#include "ui/screen/TypeFit.h"

#include <QFontMetrics>
#include <QTextLayout>

#include <algorithm>

namespace TypeFit {

int pixelSize(QFont face, const QRect &space, int flags, const QString &text, int largest,
              int smallest)
{
    const auto fits = [&](int size) {
        face.setPixelSize(size);
        const QRect needed = QFontMetrics(face).boundingRect(space, flags, text);
        return needed.width() <= space.width() && needed.height() <= space.height();
    };
    int low = smallest;
    int high = std::max(low, largest);
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

QStringList elidedLines(const QFont &face, const QRect &space, bool wrap, const QString &text)
{
    const QFontMetrics metrics(face);
    const int flags = wrap ? int(Qt::TextWordWrap) : 0;
    const QRect needed = metrics.boundingRect(space, flags, text);
    if (needed.width() <= space.width() && needed.height() <= space.height())
        return {};
    QString flowing = text;
    flowing.replace(QLatin1Char('\n'), wrap ? QChar(QChar::LineSeparator) : QChar(u' '));
    if (!wrap)
        return {metrics.elidedText(flowing, Qt::ElideRight, space.width())};
    QTextLayout layout(flowing, face);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const int room = std::max(1, space.height() / metrics.lineSpacing());
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(space.width());
        if (lines.size() + 1 == room) {
            // The rest goes into the last line that fits.
            QString rest = flowing.mid(line.textStart()).trimmed();
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            lines << metrics.elidedText(rest, Qt::ElideRight, space.width());
            break;
        }
        lines << flowing.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

QString alikeDigits(QString text)
{
    for (QChar &c : text)
        if (c.isDigit())
            c = QLatin1Char('8');
    return text;
}

} // namespace TypeFit
