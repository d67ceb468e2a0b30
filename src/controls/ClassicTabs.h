#pragma once

#include "controls/xpPageTypes.h"

#include <QRect>

class DrawingSurface;

// The look of a plain tab control in the system's button colours: raised tabs on a raised page
// frame, push buttons, and flat buttons. Each tab function draws the tab's shape for its
// rectangle in the strip and returns the rectangle its content goes in.
namespace ClassicTabs {

// The raised two-pixel edge around the page area of plain tabs.
void drawPaneFrame(DrawingSurface &surface, const QRect &frame);
// The selected tab stands 2 pixels out on every side, covering the frame beneath it.
QRect drawTab(DrawingSurface &surface, const QRect &rect, TxpTabPosition side, bool selected);
// Raised, or pushed in with a chequered face when selected.
QRect drawButton(DrawingSurface &surface, const QRect &rect, bool selected);
// No edge at all, but a thin sunken one when selected and a thin raised one when hot.
QRect drawFlatButton(DrawingSurface &surface, const QRect &rect, bool selected, bool hot);

} // namespace ClassicTabs
