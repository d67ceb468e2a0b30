#include "controls/HSLUtils.h"

#include <QtGlobal>

#include <algorithm>

// Every step is carried out on exact fractions of integers: rounding to nearest with ties to even
// then decides real ties as ties, where binary floating point would tip them either way.

namespace {

// numerator / denominator rounded to the nearest integer, ties to even; denominator > 0.
qint64 roundHalfEven(qint64 numerator, qint64 denominator)
{
    qint64 quotient = numerator / denominator;
    qint64 remainder = numerator % denominator;
    if (remainder < 0) {
        quotient -= 1;
        remainder += denominator;
    }
    const qint64 twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && quotient % 2 != 0))
        quotient += 1;
    return quotient;
}

int toChannel(qint64 numerator, qint64 denominator)
{
    return int(std::clamp<qint64>(roundHalfEven(255 * numerator, denominator), 0, 255));
}

} // namespace

Hsl240 ColorToHSL240(ColorValue rgb)
{
    const int r = redOf(rgb);
    const int g = greenOf(rgb);
    const int b = blueOf(rgb);
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    const int sum = mx + mn;

    Hsl240 result;
    // l = sum / 510
    result.luminance = int(roundHalfEven(240 * qint64(sum), 510));
    if (mx == mn)
        return result;

    const int d = mx - mn;
    // s = d / sum below half luminance, d / (510 - sum) from there on (all over 255)
    const int sDenominator = sum < 255 ? sum : 510 - sum;
    result.saturation = int(roundHalfEven(240 * qint64(d), sDenominator));

    // h = hueSixths / (6 d), hueSixths counted in units of 1/d of a sixth
    qint64 hueSixths;
    if (r == mx)
        hueSixths = g - b;
    else if (g == mx)
        hueSixths = 2 * d + b - r;
    else
        hueSixths = 4 * d + r - g;
    if (hueSixths < 0)
        hueSixths += 6 * d;
    result.hue = int(roundHalfEven(239 * hueSixths, 6 * qint64(d)));
    return result;
}

ColorValue HSL240ToColor(int hue, int saturation, int luminance)
{
    // l = L / 240, s = S / 240; m1 and m2 are kept as numerators over 240 * 240.
    constexpr qint64 scale = 240 * 240;
    const qint64 L = luminance;
    const qint64 S = saturation;
    if (S == 0) {
        const int grey = toChannel(L, 240);
        return rgbColor(grey, grey, grey);
    }
    const qint64 m2 = L <= 120 ? L * (240 + S) : 240 * L + 240 * S - L * S;
    const qint64 m1 = 2 * 240 * L - m2;

    // x = n / 717, where h = hue / 239 and a third is 239 / 717.
    constexpr qint64 xDenominator = 3 * 239;
    auto channel = [&](qint64 n) {
        if (n < 0)
            n += xDenominator;
        else if (n > xDenominator)
            n -= xDenominator;
        qint64 numerator; // over scale * xDenominator
        if (6 * n < xDenominator)
            numerator = m1 * xDenominator + (m2 - m1) * 6 * n;
        else if (2 * n < xDenominator)
            numerator = m2 * xDenominator;
        else if (3 * n < 2 * xDenominator)
            numerator = m1 * xDenominator + (m2 - m1) * (4 * xDenominator - 6 * n);
        else
            numerator = m1 * xDenominator;
        return toChannel(numerator, scale * xDenominator);
    };
    const qint64 h = 3 * qint64(hue);
    return rgbColor(channel(h + 239), channel(h), channel(h - 239));
}
