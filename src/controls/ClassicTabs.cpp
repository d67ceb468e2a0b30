#include "controls/ClassicTabs.h"

#include "controls/DrawingSurface.h"
#include "controls/XPGraphUtil.h"

#include <QImage>

namespace ClassicTabs {

namespace {

// A 1-pixel ring: top and left in one colour, bottom and right (with the corners they meet) in
// the other, as lit from the top left.
void edge(DrawingSurface &surface, const QRect &rect, ColorValue topLeft, ColorValue bottomRight)
{
    if (rect.isEmpty())
        return;
    surface.fillRect(QRect(rect.left(), rect.top(), rect.width() - 1, 1), topLeft);
    surface.fillRect(QRect(rect.left(), rect.top(), 1, rect.height() - 1), topLeft);
    surface.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), bottomRight);
    surface.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), bottomRight);
}

// The outermost light line is the face colour itself, as in the classic look.
void raised(DrawingSurface &surface, const QRect &rect)
{
    edge(surface, rect, clBtnFace, cl3DDkShadow);
    edge(surface, rect.adjusted(1, 1, -1, -1), clBtnHighlight, clBtnShadow);
}

void sunken(DrawingSurface &surface, const QRect &rect)
{
    edge(surface, rect, clBtnShadow, clBtnHighlight);
    edge(surface, rect.adjusted(1, 1, -1, -1), cl3DDkShadow, clBtnFace);
}

// Draws a tab as if it stood on top of the pages: x runs along the strip, y from the tab's
// outer edge toward the pages; the mapping turns it to the real side.
class TabFrame
{
public:
    TabFrame(const QRect &rect, TxpTabPosition side) : m_rect(rect), m_side(side) {}

    int length() const { return vertical() ? m_rect.height() : m_rect.width(); }
    int depth() const { return vertical() ? m_rect.width() : m_rect.height(); }

    // Fills from corner (x0, y0) to corner (x1, y1), both included: a line when they share a
    // row or a column.
    void span(DrawingSurface &surface, int x0, int y0, int x1, int y1, ColorValue color) const
    {
        surface.fillRect(QRect(map(x0, y0), map(x1, y1)).normalized(), color);
    }

private:
    bool vertical() const { return m_side == tpLeft || m_side == tpRight; }

    QPoint map(int x, int y) const
    {
        switch (m_side) {
        case tpBottom:
            return {m_rect.left() + x, m_rect.bottom() - y};
        case tpLeft:
            return {m_rect.left() + y, m_rect.top() + x};
        case tpRight:
            return {m_rect.right() - y, m_rect.top() + x};
        default:
            return {m_rect.left() + x, m_rect.top() + y};
        }
    }

    QRect m_rect;
    TxpTabPosition m_side;
};

} // namespace

void drawPaneFrame(DrawingSurface &surface, const QRect &frame)
{
    edge(surface, frame, clBtnHighlight, cl3DDkShadow);
    edge(surface, frame.adjusted(1, 1, -1, -1), clBtnFace, clBtnShadow);
}

QRect drawTab(DrawingSurface &surface, const QRect &rect, TxpTabPosition side, bool selected)
{
    const QRect shape = selected ? rect.adjusted(-2, -2, 2, 2) : rect;
    const TabFrame tab(shape, side);
    const int len = tab.length();
    const int depth = tab.depth();
    // The selected tab covers the frame's two lines beneath it; its right edge stops above them
    // so that the frame runs on from there.
    const int sideEnd = depth - (selected ? 3 : 1);
    tab.span(surface, 1, 1, len - 2, depth - 1, clBtnFace);
    if (side == tpTop || side == tpLeft) {
        tab.span(surface, 2, 0, len - 3, 0, clBtnHighlight);
    } else {
        tab.span(surface, 2, 0, len - 3, 0, cl3DDkShadow);
        tab.span(surface, 2, 1, len - 3, 1, clBtnShadow);
    }
    tab.span(surface, 0, 2, 0, depth - 1, clBtnHighlight);
    tab.span(surface, 1, 1, 1, 1, clBtnHighlight);
    tab.span(surface, len - 1, 2, len - 1, sideEnd, cl3DDkShadow);
    tab.span(surface, len - 2, 1, len - 2, 1, cl3DDkShadow);
    tab.span(surface, len - 2, 2, len - 2, sideEnd, clBtnShadow);
    return shape.adjusted(3, 3, -3, -3);
}

QRect drawButton(DrawingSurface &surface, const QRect &rect, bool selected)
{
    const QRect face = rect.adjusted(2, 2, -2, -2);
    if (selected) {
        // The chequered face of a button that stays pushed in.
        QImage checker(2, 2, QImage::Format_RGB32);
        const QColor faceColor = surface.resolve(clBtnFace);
        const QColor light = surface.resolve(clBtnHighlight);
        checker.setPixelColor(0, 0, light);
        checker.setPixelColor(1, 1, light);
        checker.setPixelColor(1, 0, faceColor);
        checker.setPixelColor(0, 1, faceColor);
        TileBitmap(surface, face, checker);
        sunken(surface, rect);
    } else {
        surface.fillRect(face, clBtnFace);
        raised(surface, rect);
    }
    return face.adjusted(1, 1, -1, -1).translated(selected ? QPoint(1, 1) : QPoint());
}

QRect drawFlatButton(DrawingSurface &surface, const QRect &rect, bool selected, bool hot)
{
    surface.fillRect(rect, clBtnFace);
    if (selected)
        edge(surface, rect, clBtnShadow, clBtnHighlight);
    else if (hot)
        edge(surface, rect, clBtnHighlight, clBtnShadow);
    return rect.adjusted(3, 3, -3, -3).translated(selected ? QPoint(1, 1) : QPoint());
}

} // namespace ClassicTabs
