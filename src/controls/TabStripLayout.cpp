#include "controls/TabStripLayout.h"

#include <algorithm>

namespace {

// How far the pages stand from the control's edges.
struct Insets
{
    int strip;
    int others;
};

// The drawn active tab stands out 2 pixels beyond its rectangle, so tabs and strip keep that
// far from the edges. Plain tabs leave 2 pixels for the raised frame around the pages; buttons
// stand apart from the pages and have no frame. In pcsXP the pages cover the active tab's inner
// edge so that the tab joins its page, and the inactive tabs end on the frame.
Insets insets(TxpPageControlStyle style, TxpTabPosition side, int stripDepth)
{
    switch (style) {
    case pcsTabs:
        return {stripDepth + 2, 2};
    case pcsButtons:
    case pcsFlatButtons:
        return {stripDepth + 3, 0};
    default:
        return {stripDepth - (side == tpTop ? 2 : 1), 1};
    }
}

} // namespace

TabStripLayout TabStripLayout::compute(TxpPageControlStyle style, TxpTabPosition position,
                                       QSize control, const QList<QSize> &tabSizes)
{
    const bool buttons = isButtonStyle(style);
    const TxpTabPosition side = buttons ? tpTop : position;
    const bool vertical = side == tpLeft || side == tpRight;
    const int margin = buttons ? 0 : 2;
    const int gap = buttons ? 3 : 0;
    const int w = control.width();
    const int h = control.height();

    int thickness = 0;
    for (const QSize &size : tabSizes)
        thickness = std::max(thickness, vertical ? size.width() : size.height());

    TabStripLayout layout;
    int along = margin;
    for (const QSize &size : tabSizes) {
        const int length = vertical ? size.height() : size.width();
        switch (side) {
        case tpTop:
            layout.tabs << QRect(along, margin, length, thickness);
            break;
        case tpBottom:
            layout.tabs << QRect(along, h - margin - thickness, length, thickness);
            break;
        case tpLeft:
            layout.tabs << QRect(margin, along, thickness, length);
            break;
        case tpRight:
            layout.tabs << QRect(w - margin - thickness, along, thickness, length);
            break;
        }
        along += length + gap;
    }

    const Insets inset = insets(style, side, margin + thickness);
    const auto edge = [&](TxpTabPosition of) { return of == side ? inset.strip : inset.others; };
    layout.pages = QRect(QPoint(edge(tpLeft), edge(tpTop)),
                         QPoint(w - 1 - edge(tpRight), h - 1 - edge(tpBottom)));
    return layout;
}

int TabStripLayout::tabAt(QPoint point) const
{
    const auto it = std::find_if(tabs.cbegin(), tabs.cend(),
                                 [point](const QRect &tab) { return tab.contains(point); });
    return it == tabs.cend() ? -1 : int(it - tabs.cbegin());
}
