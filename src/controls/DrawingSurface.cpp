#include "controls/DrawingSurface.h"

#include <QFontMetrics>
#include <QPen>
#include <QRegion>
#include <QWidget>

DrawingSurface::~DrawingSurface()
{
    end();
}

void DrawingSurface::begin(QSize size, const QPalette &palette, qreal pixelRatio)
{
    end();
    // Drawn at the screen's own pixels: a picture scaled up afterwards would
    // blur every edge and letter at 150 and 200 %.
    const QSize pixels = (QSizeF(size) * pixelRatio).toSize();
    if (m_image.size() != pixels || m_image.devicePixelRatio() != pixelRatio) {
        m_image = QImage(pixels, QImage::Format_RGB32);
        m_image.setDevicePixelRatio(pixelRatio);
        m_image.fill(Qt::white);
    }
    m_palette = palette;
    m_state = State{};
    m_saved.clear();
    m_painter.begin(&m_image);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
}

void DrawingSurface::end()
{
    if (m_painter.isActive())
        m_painter.end();
    m_saved.clear();
}

void DrawingSurface::fillRect(const QRect &rect, ColorValue color)
{
    if (!rect.isEmpty())
        m_painter.fillRect(rect, resolve(color));
}

void DrawingSurface::frameRect(const QRect &rect, ColorValue color)
{
    if (rect.isEmpty())
        return;
    const QColor c = resolve(color);
    m_painter.fillRect(rect.left(), rect.top(), rect.width(), 1, c);
    m_painter.fillRect(rect.left(), rect.bottom(), rect.width(), 1, c);
    m_painter.fillRect(rect.left(), rect.top(), 1, rect.height(), c);
    m_painter.fillRect(rect.right(), rect.top(), 1, rect.height(), c);
}

void DrawingSurface::rectangle(const QRect &rect)
{
    if (m_state.brushStyle == BrushStyle::Solid)
        fillRect(rect.adjusted(1, 1, -1, -1), m_state.brushColor);
    frameRect(rect, m_state.penColor);
}

void DrawingSurface::roundRect(const QRect &rect, int ellipseWidth, int ellipseHeight)
{
    if (rect.isEmpty())
        return;
    applyPen();
    applyBrush();
    // An aliased 1-pixel outline covers the pixels its corner points name, so the path runs
    // through the centres of the rectangle's outermost pixels.
    m_painter.drawRoundedRect(QRectF(rect.left(), rect.top(), rect.width() - 1, rect.height() - 1),
                              ellipseWidth / 2.0, ellipseHeight / 2.0);
}

void DrawingSurface::polygon(const QList<QPoint> &points)
{
    applyPen();
    applyBrush();
    m_painter.drawPolygon(points.constData(), int(points.size()));
}

void DrawingSurface::polyline(const QList<QPoint> &points)
{
    applyPen();
    m_painter.drawPolyline(points.constData(), int(points.size()));
}

void DrawingSurface::drawText(const QRect &rect, const QString &text, int flags)
{
    m_painter.setFont(m_state.font);
    m_painter.setPen(resolve(m_state.fontColor));
    m_painter.drawText(rect, flags, text);
}

void DrawingSurface::textOut(QPoint topLeft, const QString &text)
{
    const QFontMetrics metrics(m_state.font);
    drawText(QRect(topLeft, QSize(metrics.horizontalAdvance(text), metrics.height())), text,
             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip);
}

void DrawingSurface::focusRect(const QRect &rect)
{
    if (rect.isEmpty())
        return;
    const QColor color = resolve(m_state.fontColor);
    // Walking the outline clockwise keeps the dots alternating around the corners.
    QList<QPoint> outline;
    for (int x = rect.left(); x < rect.right(); ++x)
        outline << QPoint(x, rect.top());
    for (int y = rect.top(); y < rect.bottom(); ++y)
        outline << QPoint(rect.right(), y);
    for (int x = rect.right(); x > rect.left(); --x)
        outline << QPoint(x, rect.bottom());
    for (int y = rect.bottom(); y > rect.top(); --y)
        outline << QPoint(rect.left(), y);
    for (qsizetype i = 0; i < outline.size(); i += 2)
        m_painter.fillRect(QRect(outline[i], QSize(1, 1)), color);
}

void DrawingSurface::drawImage(QPoint topLeft, const QImage &image)
{
    m_painter.drawImage(topLeft, image);
}

void DrawingSurface::drawImage(const QRect &target, const QImage &image)
{
    m_painter.drawImage(target, image);
}

ColorValue DrawingSurface::pixel(QPoint point) const
{
    const QPoint at = (QPointF(point) * m_image.devicePixelRatio()).toPoint();
    if (!m_image.valid(at))
        return clBlack;
    return fromQColor(m_image.pixelColor(at));
}

void DrawingSurface::paint(QWidget *widget, const QRect &rect) const
{
    const qreal ratio = m_image.devicePixelRatio();
    QPainter(widget).drawImage(
        QRectF(rect), m_image,
        QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
}

void DrawingSurface::save()
{
    m_painter.save();
    m_saved.append(m_state);
}

void DrawingSurface::restore()
{
    if (m_saved.isEmpty())
        return;
    m_painter.restore();
    m_state = m_saved.takeLast();
}

void DrawingSurface::clipTo(const QRect &rect)
{
    m_painter.setClipRect(rect, Qt::IntersectClip);
}

void DrawingSurface::excludeClip(const QRect &rect)
{
    const QRegion current =
        m_painter.hasClipping() ? m_painter.clipRegion() : QRegion(m_image.rect());
    m_painter.setClipRegion(current.subtracted(rect));
}

void DrawingSurface::applyPen()
{
    // Width 0 is Qt's exact 1-pixel pen; a flat cap leaves a line's end point undrawn.
    QPen pen(resolve(m_state.penColor), 0);
    pen.setCapStyle(Qt::FlatCap);
    m_painter.setPen(pen);
}

void DrawingSurface::applyBrush()
{
    if (m_state.brushStyle == BrushStyle::Solid)
        m_painter.setBrush(resolve(m_state.brushColor));
    else
        m_painter.setBrush(Qt::NoBrush);
}
