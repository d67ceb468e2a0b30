#include "controls/XPGraphUtil.h"

#include "controls/DrawingSurface.h"

#include <algorithm>
#include <cstdlib>

namespace {

// number × numerator / denominator, rounded to the nearest integer with halves away from zero.
int mulDiv(int number, int numerator, int denominator)
{
    const qint64 product = qint64(number) * numerator;
    const qint64 divisor = std::abs(qint64(denominator));
    const qint64 magnitude = (2 * std::abs(product) + divisor) / (2 * divisor);
    return int((product < 0) != (denominator < 0) ? -magnitude : magnitude);
}

ColorValue blend(ColorValue from, ColorValue to, int step, int steps)
{
    const auto channel = [&](int (*of)(ColorValue)) {
        return of(from) + mulDiv(step, of(to) - of(from), steps);
    };
    return rgbColor(channel(redOf), channel(greenOf), channel(blueOf));
}

} // namespace

ColorValue DarkenColor(ColorValue color, int amount, const QPalette &palette)
{
    const ColorValue rgb = colorToRGB(color, palette);
    const auto channel = [amount](int value) {
        return int(std::clamp(qint64(value) - amount, qint64(0), qint64(255)));
    };
    return rgbColor(channel(redOf(rgb)), channel(greenOf(rgb)), channel(blueOf(rgb)));
}

void FillGradient(DrawingSurface &surface, const QRect &rect, ColorValue startColor,
                  ColorValue endColor, TFillDirection direction, quint8 colorCount)
{
    const int left = rect.left();
    const int top = rect.top();
    const int right = left + rect.width();
    const int bottom = top + rect.height();
    switch (direction) {
    case fdVerticalFromCenter: {
        const int middle = top + rect.height() / 2;
        FillGradientBands(surface, rectLTRB(left, top, right, middle), startColor, endColor,
                          fdTopToBottom, colorCount);
        FillGradientBands(surface, rectLTRB(left, middle, right, bottom), startColor, endColor,
                          fdBottomToTop, colorCount);
        break;
    }
    case fdHorizFromCenter: {
        const int middle = left + rect.width() / 2;
        FillGradientBands(surface, rectLTRB(left, top, middle, bottom), startColor, endColor,
                          fdLeftToRight, colorCount);
        FillGradientBands(surface, rectLTRB(middle, top, right, bottom), startColor, endColor,
                          fdRightToLeft, colorCount);
        break;
    }
    case fdXP:
        FillXPPanel(surface, rect, startColor, endColor, colorCount);
        break;
    default:
        FillGradientBands(surface, rect, startColor, endColor, direction, colorCount);
        break;
    }
}

void FillGradientBands(DrawingSurface &surface, const QRect &rect, ColorValue startColor,
                       ColorValue endColor, TFillDirection direction, quint8 colorCount)
{
    if (rect.isEmpty())
        return;
    if (colorCount < 2) {
        surface.fillRect(rect, startColor);
        return;
    }
    const bool vertical = direction == fdTopToBottom || direction == fdBottomToTop;
    const bool reversed = direction == fdBottomToTop || direction == fdRightToLeft;
    const ColorValue start = surface.rgb(startColor);
    const ColorValue end = surface.rgb(endColor);
    // Bands always run from the top or left edge; a reversed gradient starts from the far colour.
    const ColorValue first = reversed ? end : start;
    const ColorValue last = reversed ? start : end;

    const int extent = vertical ? rect.height() : rect.width();
    const int bands = std::max(2, std::min(int(colorCount), extent));
    const int band = extent / bands;
    const auto strip = [&](int offset, int length) {
        return vertical ? QRect(rect.left(), rect.top() + offset, rect.width(), length)
                        : QRect(rect.left() + offset, rect.top(), length, rect.height());
    };
    if (band > 0) {
        for (int i = 0; i < bands; ++i)
            surface.fillRect(strip(i * band, band), blend(first, last, i, bands - 1));
    }
    const int rest = extent % bands;
    if (rest > 0)
        surface.fillRect(strip(extent - rest, rest), last);
}

void FillXPPanel(DrawingSurface &surface, const QRect &rect, ColorValue startColor,
                 ColorValue endColor, quint8 colorCount)
{
    if (rect.isEmpty())
        return;
    constexpr int edge = XPEdgeSize;
    constexpr int rim = XPEdgeSize / 4;
    const int l = rect.left();
    const int t = rect.top();
    const int r = l + rect.width();
    const int b = t + rect.height();
    // Each row of the left bevel runs from the outer column's colour to the body's.
    const auto blendLeftEdge = [&] {
        for (int y = t + edge; y < b; ++y)
            FillGradientBands(surface, rectLTRB(l + rim, y, l + edge, y + 1), surface.pixel({l, y}),
                              surface.pixel({l + edge + 1, y}), fdLeftToRight, 8);
    };
    const ColorValue lighter = DarkenColor(surface.rgb(startColor), -XPLightenAmount);

    surface.frameRect(rect, endColor);
    FillGradientBands(surface, rectLTRB(l + edge, t + edge, r - edge, b), endColor, startColor,
                      fdTopToBottom, colorCount);
    FillGradientBands(surface, rectLTRB(l + edge, b - edge, r, b), startColor, endColor,
                      fdTopToBottom, colorCount);
    blendLeftEdge();
    FillGradientBands(surface, rectLTRB(l + edge, t, r, t + rim), lighter, startColor,
                      fdTopToBottom, 8);
    FillGradientBands(surface, rectLTRB(l + edge, t + rim, r, t + edge), startColor, endColor,
                      fdTopToBottom, 8);
    FillGradientBands(surface, rectLTRB(l, t + edge, l + rim, b), lighter, startColor,
                      fdLeftToRight, 8);
    blendLeftEdge();
    // The top left corner takes, column by column, the colour just below the bevel.
    for (int i = 0; i <= edge; ++i) {
        surface.setPenColor(surface.pixel({l + i, t + edge + 1}));
        surface.polyline({{l + i, t + edge}, {l + i, t + i}, {l + edge, t + i}});
    }
}

void TileBitmap(DrawingSurface &surface, const QRect &rect, const QImage &bitmap)
{
    if (bitmap.width() == 0 || bitmap.height() == 0)
        return;
    surface.save();
    surface.clipTo(rect);
    for (int i = 0; i <= rect.width() / bitmap.width(); ++i) {
        for (int j = 0; j <= rect.height() / bitmap.height(); ++j)
            surface.drawImage(
                QPoint(rect.left() + i * bitmap.width(), rect.top() + j * bitmap.height()), bitmap);
    }
    surface.restore();
}
