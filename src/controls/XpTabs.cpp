#include "controls/XpTabs.h"

#include "controls/DrawingSurface.h"
#include "controls/XPGraphUtil.h"

namespace XpTabs {

namespace {

struct Edges
{
    int l;
    int t;
    int r;
    int b;
};

// The active tab grows toward its neighbours and away from the pages, the inactive ones shrink
// so that a gap shows between them.
Edges adjusted(const QRect &rect, TxpTabPosition side, bool active)
{
    Edges e{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height() - 2};
    switch (side) {
    case tpTop:
        if (active)
            e = {e.l - 2, e.t - 2, e.r + 1, e.b};
        else
            e = {e.l, e.t, e.r - 1, e.b - 1};
        break;
    case tpBottom:
        if (active)
            e = {e.l - 2, e.t, e.r + 1, e.b + 1};
        else
            e = {e.l, e.t + 1, e.r - 1, e.b};
        break;
    case tpLeft:
        if (active)
            e = {e.l - 2, e.t - 1, e.r, e.b + 1};
        else
            e.r -= 1;
        break;
    case tpRight:
        if (active)
            e = {e.l, e.t - 1, e.r + 2, e.b + 1};
        else
            e.l += 1;
        break;
    }
    e.b += 1;
    return e;
}

} // namespace

QRect drawTab(DrawingSurface &surface, const QRect &rect, TxpTabPosition side, const TabLook &look)
{
    const ColorValue sheet = surface.rgb(look.sheetColor);
    const ColorValue c = look.active ? sheet : DarkenColor(sheet, 5);
    const ColorValue d20 = DarkenColor(c, 20);
    const ColorValue d10 = DarkenColor(c, 10);
    const auto [l, t, r, b] = adjusted(rect, side, look.active);
    const auto line = [&surface](ColorValue color, QPoint from, QPoint to) {
        surface.setPenColor(color);
        surface.line(from, to);
    };
    const auto hotEdge = [&](QPoint outerFrom, QPoint outerTo, QPoint innerFrom, QPoint innerTo) {
        if (look.hotTrack) {
            line(HotEdgeOuter, outerFrom, outerTo);
            line(HotEdgeInner, innerFrom, innerTo);
        }
    };
    // The inner and the far shadow, two lines each, darker outside.
    const auto shadow = [&](int farEnd, int innerRow, int innerEnd) {
        line(d20, {r - 2, t + 2}, {r - 2, farEnd});
        line(d10, {r - 3, t + 4}, {r - 3, farEnd - 1});
        line(d20, {l + 2, innerRow}, {r - 2, innerRow});
        line(d10, {l + 3, innerRow - 1}, {r - 3, innerEnd});
    };
    // Joins the active tab to its page over the frame line between them.
    const auto join = [&](const QRect &bridge) {
        surface.setPenColor(c);
        surface.rectangle(bridge);
    };

    surface.setBrushStyle(DrawingSurface::BrushStyle::Solid);
    surface.setBrushColor(c);
    surface.setPenColor(look.borderColor);
    switch (side) {
    case tpTop:
        surface.rectangle(rectLTRB(l, t + 6, r, b));
        surface.roundRect(rectLTRB(l, t, r, b - 7), 6, 6);
        surface.fillRect(rectLTRB(l + 1, t + 5, r - 1, b), c);
        if (look.active) {
            join(rectLTRB(l + 1, b - 1, r - 1, b + 2));
            hotEdge({l + 2, t}, {r - 2, t}, {l + 2, t + 1}, {r - 2, t + 1});
        } else {
            shadow(b - 1, b - 1, b - 2);
        }
        break;
    case tpBottom:
        surface.rectangle(rectLTRB(l, t, r, b - 6));
        surface.roundRect(rectLTRB(l, t + 6, r, b), 6, 6);
        surface.fillRect(rectLTRB(l + 1, t + 6, r - 1, b - 3), c);
        if (look.active) {
            join(rectLTRB(l + 1, t - 1, r - 1, t + 2));
            hotEdge({l + 2, b - 1}, {r - 2, b - 1}, {l + 2, b}, {r - 2, b});
        } else {
            shadow(b - 2, b - 2, b - 3);
        }
        break;
    case tpLeft:
        surface.rectangle(rectLTRB(l + 6, t, r, b));
        surface.roundRect(rectLTRB(l, t, l + 8, b), 6, 6);
        surface.fillRect(rectLTRB(l + 5, t + 1, r - 1, b - 1), c);
        if (look.active)
            hotEdge({l, t + 2}, {l, b - 2}, {l + 1, t + 1}, {l + 1, b - 1});
        else
            shadow(b - 1, b - 2, b - 4);
        break;
    case tpRight:
        surface.rectangle(rectLTRB(l, t, r - 6, b));
        surface.roundRect(rectLTRB(r - 8, t, r, b), 6, 6);
        surface.fillRect(rectLTRB(r - 8, t + 1, r - 3, b - 1), c);
        if (look.active)
            hotEdge({r - 2, t + 2}, {r - 2, b - 2}, {r - 1, t + 1}, {r - 1, b - 1});
        else
            shadow(b - 1, b - 2, b - 4);
        break;
    }
    return rectLTRB(l, t, r, b);
}

void drawHotEdge(DrawingSurface &surface, const QRect &rect, TxpTabPosition side)
{
    const int l = rect.left();
    const int t = rect.top();
    const int r = l + rect.width();
    const int b = t + rect.height();
    const auto line = [&surface](ColorValue color, QPoint from, QPoint to) {
        surface.setPenColor(color);
        surface.line(from, to);
    };
    switch (side) {
    case tpTop:
        line(HotEdgeOuter, {l + 2, t}, {r - 3, t});
        line(HotEdgeInner, {l + 2, t + 1}, {r - 3, t + 1});
        break;
    case tpBottom:
        line(HotEdgeInner, {l + 2, b - 3}, {r - 3, b - 3});
        line(HotEdgeOuter, {l + 2, b - 2}, {r - 3, b - 2});
        break;
    case tpLeft:
        line(HotEdgeInner, {l, t + 2}, {l, b - 3});
        line(HotEdgeOuter, {l + 1, t + 2}, {l + 1, b - 3});
        break;
    case tpRight:
        line(HotEdgeInner, {r - 1, t + 2}, {r - 1, b - 3});
        line(HotEdgeOuter, {r, t + 2}, {r, b - 3});
        break;
    }
}

} // namespace XpTabs
