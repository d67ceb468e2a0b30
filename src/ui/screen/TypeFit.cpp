#include "ui/screen/TypeFit.h"

#include <QFontMetrics>

namespace TypeFit {

namespace {

constexpr int SmallestPixels = 8;

} // namespace

int pixelSize(QFont face, const QRect &space, int flags, const QString &text, int largest)
{
    const auto fits = [&](int size) {
        face.setPixelSize(size);
        const QRect needed = QFontMetrics(face).boundingRect(space, flags, text);
        return needed.width() <= space.width() && needed.height() <= space.height();
    };
    int low = SmallestPixels;
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

QString alikeDigits(QString text)
{
    for (QChar &c : text)
        if (c.isDigit())
            c = QLatin1Char('8');
    return text;
}

} // namespace TypeFit
