#pragma once

#include <QColor>
#include <QtGlobal>

class QPalette;

// A colour as the windows store it: with the top byte 0 an RGB colour laid out $00BBGGRR (red in
// the low byte); with the top bit set the index of a system colour in the low byte, looked up only
// when drawing so that a theme change is followed.
using ColorValue = quint32;

inline constexpr ColorValue clBlack = 0x00000000;
inline constexpr ColorValue clWhite = 0x00FFFFFF;
inline constexpr ColorValue clSilver = 0x00C0C0C0;
inline constexpr ColorValue clSkyBlue = 0x00F0CAA6;
inline constexpr ColorValue clWindow = 0x80000005;
inline constexpr ColorValue clHighlight = 0x8000000D;
inline constexpr ColorValue clBtnFace = 0x8000000F;
inline constexpr ColorValue clBtnShadow = 0x80000010;
inline constexpr ColorValue clBtnText = 0x80000012;
inline constexpr ColorValue clBtnHighlight = 0x80000014;
inline constexpr ColorValue cl3DDkShadow = 0x80000015;

constexpr bool isSystemColor(ColorValue color)
{
    return (color & 0x80000000u) != 0;
}

constexpr ColorValue rgbColor(int red, int green, int blue)
{
    return ColorValue(red & 0xFF) | ColorValue(green & 0xFF) << 8 | ColorValue(blue & 0xFF) << 16;
}

constexpr int redOf(ColorValue color)
{
    return int(color & 0xFF);
}

constexpr int greenOf(ColorValue color)
{
    return int(color >> 8 & 0xFF);
}

constexpr int blueOf(ColorValue color)
{
    return int(color >> 16 & 0xFF);
}

// System colours come from the palette's active group (window background: Base, highlight:
// Highlight, button face: Button, and the button's text and bevel: ButtonText, Light, Dark,
// Shadow); any other index resolves to black. An RGB value comes back unchanged.
ColorValue colorToRGB(ColorValue color, const QPalette &palette);

QColor toQColor(ColorValue color, const QPalette &palette);

// Alpha is dropped: the stored format has no room for it.
ColorValue fromQColor(const QColor &color);
