#pragma once

#include "controls/Colors.h"

#include <QPalette>
#include <QRect>
#include <QtGlobal>

class DrawingSurface;
class QImage;

// Stateless drawing helpers of the XP look: darkening, banded gradients, the bevelled panel and
// bitmap tiling. They draw on a surface the caller has begun.

enum TFillDirection
{
    fdTopToBottom,
    fdBottomToTop,
    fdLeftToRight,
    fdRightToLeft,
    fdVerticalFromCenter,
    fdHorizFromCenter,
    fdXP
};

inline constexpr int XPEdgeSize = 6;
inline constexpr int XPLightenAmount = 30;

// Each channel minus amount, kept within 0..255; a negative amount lightens. System colours are
// resolved through the palette first.
ColorValue DarkenColor(ColorValue color, int amount, const QPalette &palette = QPalette());

void FillGradient(DrawingSurface &surface, const QRect &rect, ColorValue startColor,
                  ColorValue endColor, TFillDirection direction, quint8 colorCount);

// At most colorCount solid bands from one edge to the other, then the rows or columns the bands
// leave over in one solid colour. direction is one of the first four; the others are taken as
// fdLeftToRight.
void FillGradientBands(DrawingSurface &surface, const QRect &rect, ColorValue startColor,
                       ColorValue endColor, TFillDirection direction, quint8 colorCount);

// A panel with a bevelled top and left edge. Part of the right edge is left as it was.
void FillXPPanel(DrawingSurface &surface, const QRect &rect, ColorValue startColor,
                 ColorValue endColor, quint8 colorCount);

// Tiles from the rectangle's top left corner; the last row and column are cut at its edges.
void TileBitmap(DrawingSurface &surface, const QRect &rect, const QImage &bitmap);
