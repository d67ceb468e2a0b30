#include "controls/Colors.h"

#include <QPalette>

namespace {

// Only the index in the low byte names the colour.
QPalette::ColorRole systemColorRole(ColorValue color)
{
    switch (0x80000000u | (color & 0xFF)) {
    case clWindow:
        return QPalette::Base;
    case clHighlight:
        return QPalette::Highlight;
    case clBtnFace:
        return QPalette::Button;
    case clBtnShadow:
        return QPalette::Dark;
    case clBtnText:
        return QPalette::ButtonText;
    case clBtnHighlight:
        return QPalette::Light;
    case cl3DDkShadow:
        return QPalette::Shadow;
    default:
        return QPalette::NoRole;
    }
}

} // namespace

ColorValue colorToRGB(ColorValue color, const QPalette &palette)
{
    if (!isSystemColor(color))
        return color;
    const QPalette::ColorRole role = systemColorRole(color);
    if (role == QPalette::NoRole)
        return clBlack;
    return fromQColor(palette.color(QPalette::Active, role));
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
