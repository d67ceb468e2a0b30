#pragma once

#include "controls/Colors.h"

// A darkening percentage, 0..100.
using TAdvColors = quint8;

// A shade of the parent's colour for a control that should blend in with it: the parent's
// luminance moved by 10 − percentage on the 240 scale. A percentage of 0 keeps the given colour.
// The parent must be an RGB value (resolve system colours first). Luminance is kept within 0..240,
// so a small percentage on a very light parent gives white.
ColorValue DeriveShade(ColorValue parentRgb, ColorValue given, TAdvColors percentage);
