#include "controls/Colors.h"

#include <QPalette>

ColorValue colorToRGB(ColorValue color, const QPalette &palette)
{
    if (!isSystemColor(color))
        return color;
    switch (color & 0xFF) {
    case clWindow & 0xFF:
        return fromQColor(palette.color(QPalette::Active, QPalette::Base));
    case clHighlight & 0xFF:
        return fromQColor(palette.color(QPalette::Active, QPalette::Highlight));
    case clBtnFace & 0xFF:
        return fromQColor(palette.color(QPalette::Active, QPalette::Button));
    default:
        return clBlack;
    }
}

QColor toQColor(ColorValue color, const QPalette &palette)
{
    const ColorValue rgb = colorToRGB(color, palette);
    return QColor(redOf(rgb), greenOf(rgb), blueOf(rgb));
}

ColorValue fromQColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return rgbColor(rgb.red(), rgb.green(), rgb.blue());
}
