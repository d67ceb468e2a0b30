#pragma once

#include "controls/Colors.h"

// Hue, saturation and luminance on the 240 scale: hue 0..239, saturation and luminance 0..240.
struct Hsl240
{
    int hue = 0;
    int saturation = 0;
    int luminance = 0;
};

// Takes an RGB value (resolve system colours first).
Hsl240 ColorToHSL240(ColorValue rgb);

// A luminance outside 0..240 has no meaning on this scale; channels are kept within 0..255.
ColorValue HSL240ToColor(int hue, int saturation, int luminance);
