#pragma once

#include "controls/Colors.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPalette>
#include <QPoint>
#include <QRect>

class QWidget;

// A rectangle given by its edges, right and bottom exclusive.
constexpr QRect rectLTRB(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

// The pen, brush and font a control draws its own look with, on a picture that the control then
// shows. Drawing keeps to exact pixel conventions, without antialiasing: outlines run along the
// inside of a rectangle, a line leaves its end point undrawn, text is drawn without a background.
// Colours are resolved through the palette given to begin().
class DrawingSurface final
{
public:
    enum class BrushStyle
    {
        Solid,
        Hollow
    };

    DrawingSurface() = default;
    ~DrawingSurface();
    Q_DISABLE_COPY_MOVE(DrawingSurface)

    // Starts a drawing pass on a picture of this size. The picture is kept between passes while
    // the size stays, so a pass that draws only part of it leaves the rest as it was.
    // pixelRatio: the screen's device pixels per pixel of size.
    void begin(QSize size, const QPalette &palette, qreal pixelRatio = 1.0);
    void end();
    const QImage &image() const { return m_image; }
    // Shows the part of the picture that rect covers on the widget.
    void paint(QWidget *widget, const QRect &rect) const;

    QColor resolve(ColorValue color) const { return toQColor(color, m_palette); }
    ColorValue rgb(ColorValue color) const { return colorToRGB(color, m_palette); }

    const QFont &font() const { return m_state.font; }
    void setFont(const QFont &font) { m_state.font = font; }
    ColorValue fontColor() const { return m_state.fontColor; }
    void setFontColor(ColorValue color) { m_state.fontColor = color; }
    ColorValue brushColor() const { return m_state.brushColor; }
    void setBrushColor(ColorValue color) { m_state.brushColor = color; }
    BrushStyle brushStyle() const { return m_state.brushStyle; }
    void setBrushStyle(BrushStyle style) { m_state.brushStyle = style; }
    ColorValue penColor() const { return m_state.penColor; }
    void setPenColor(ColorValue color) { m_state.penColor = color; }

    void fillRect(const QRect &rect, ColorValue color);
    // A 1-pixel outline along the inside of the rectangle.
    void frameRect(const QRect &rect, ColorValue color);
    // Outline in the pen colour along the inside, interior in the brush (unless hollow).
    void rectangle(const QRect &rect);
    // As rectangle(), with corners rounded by an ellipse of the given size.
    void roundRect(const QRect &rect, int ellipseWidth, int ellipseHeight);
    // Closed polygon: interior in the brush (unless hollow), edges in the pen colour.
    void polygon(const QList<QPoint> &points);
    // Connected lines in the pen colour; the last point is not drawn.
    void polyline(const QList<QPoint> &points);
    void line(QPoint from, QPoint to) { polyline({from, to}); }

    // flags: Qt::Alignment and Qt::TextFlag values, as for QPainter::drawText.
    void drawText(const QRect &rect, const QString &text, int flags);
    // One line with its top left corner at the point.
    void textOut(QPoint topLeft, const QString &text);
    // Every other pixel of the rectangle's inside outline, in the font colour: the mark of
    // keyboard focus.
    void focusRect(const QRect &rect);

    void drawImage(QPoint topLeft, const QImage &image);
    // Stretched over the target.
    void drawImage(const QRect &target, const QImage &image);

    ColorValue pixel(QPoint point) const;

    // save() and restore() pair up; they keep pen, brush, font and clipping.
    void save();
    void restore();
    // Restricts further drawing to the rectangle.
    void clipTo(const QRect &rect);
    // Keeps further drawing out of the rectangle.
    void excludeClip(const QRect &rect);

private:
    struct State
    {
        QFont font;
        ColorValue fontColor = clBlack;
        ColorValue brushColor = clWhite;
        BrushStyle brushStyle = BrushStyle::Solid;
        ColorValue penColor = clBlack;
    };

    void applyPen();
    void applyBrush();

    QImage m_image;
    QPainter m_painter;
    QPalette m_palette;
    State m_state;
    QList<State> m_saved;
};
