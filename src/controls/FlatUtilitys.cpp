#include "controls/FlatUtilitys.h"

#include "controls/HSLUtils.h"

#include <algorithm>

ColorValue DeriveShade(ColorValue parentRgb, ColorValue given, TAdvColors percentage)
{
    if (percentage == 0)
        return given;
    const Hsl240 parent = ColorToHSL240(parentRgb);
    const int luminance = std::clamp(parent.luminance + 10 - int(percentage), 0, 240);
    return HSL240ToColor(parent.hue, parent.saturation, luminance);
}
