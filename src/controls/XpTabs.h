#pragma once

#include "controls/Colors.h"
#include "controls/xpPageTypes.h"

#include <QRect>

class DrawingSurface;

// The tab shapes of pcsXP: rounded on the outer side, the active one larger and in its sheet's
// colour, the inactive ones 5 units darker with a two-pixel shadow along their inner edges.
namespace XpTabs {

inline constexpr ColorValue HotEdgeOuter = 0x002C8BE6;
inline constexpr ColorValue HotEdgeInner = 0x003CC7FF;

struct TabLook
{
    ColorValue sheetColor;
    ColorValue borderColor;
    bool active;
    // Only the active tab shows it: the hot edge it keeps for good.
    bool hotTrack;
};

// rect is the tab's rectangle in the strip. Returns the rectangle its caption goes in.
QRect drawTab(DrawingSurface &surface, const QRect &rect, TxpTabPosition side, const TabLook &look);
// The two lines of a hot edge along the tab's outer side.
void drawHotEdge(DrawingSurface &surface, const QRect &rect, TxpTabPosition side);

} // namespace XpTabs
