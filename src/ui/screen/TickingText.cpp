#include "ui/screen/TickingText.h"

#include "ui/screen/TypeFit.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

TickingText::TickingText(QWidget *parent, QFont::Weight weight)
    : QWidget(parent), m_colour(palette().color(QPalette::WindowText)), m_face(font())
{
    m_face.setWeight(weight);
    // Every pixel is painted here: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TickingText::setText(const QString &text)
{
    if (text == m_text)
        return;
    const QString old = m_text;
    m_text = text;
    setAccessibleName(text);
    if (TypeFit::alikeDigits(text) != m_shape) {
        layOut();
        update();
        return;
    }
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) != old.at(i))
            update(cell(i));
}

void TickingText::setColour(const QColor &colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    redrawAll();
}

void TickingText::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The background is part of every character's image.
    if (event->type() == QEvent::PaletteChange)
        redrawAll();
}

void TickingText::redrawAll()
{
    m_glyphs.clear();
    update();
}

void TickingText::resizeEvent(QResizeEvent *)
{
    layOut();
}

void TickingText::layOut()
{
    m_shape = TypeFit::alikeDigits(m_text);
    m_glyphs.clear();
    const QRect space = rect();
    m_face.setPixelSize(
        TypeFit::pixelSize(m_face, space, Qt::AlignCenter, m_shape, space.height()));
    const QFontMetricsF metrics(m_face);
    m_baseline =
        int(space.height() / 2.0 - (metrics.ascent() + metrics.descent()) / 2.0 + metrics.ascent());
    // Antialiasing, and digits other than the 8 measured, reach a little
    // beyond the measured ink.
    const QRectF ink = metrics.tightBoundingRect(m_shape);
    const int margin = 2 + m_face.pixelSize() / 20;
    m_inkTop = std::max(0, m_baseline + int(ink.top()) - margin);
    m_inkBottom = std::min(space.height(), m_baseline + int(ink.bottom()) + margin);
    m_edges.clear();
    qreal x = (space.width() - metrics.horizontalAdvance(m_shape)) / 2.0;
    m_edges.append(qRound(x));
    for (QChar c : std::as_const(m_shape)) {
        x += metrics.horizontalAdvance(c);
        m_edges.append(qRound(x));
    }
}

QRect TickingText::cell(qsizetype i) const
{
    return QRect(QPoint(m_edges.at(i), m_inkTop), QPoint(m_edges.at(i + 1) - 1, m_inkBottom));
}

const QImage &TickingText::glyph(QChar c)
{
    auto found = m_glyphs.find(c);
    if (found != m_glyphs.end())
        return *found;
    const QFontMetricsF metrics(m_face);
    const qreal advance = metrics.horizontalAdvance(c);
    // A digit narrower than the 8 its cell was measured for sits in the
    // middle of the cell.
    const qreal cellWidth = c.isDigit() ? metrics.horizontalAdvance(QLatin1Char('8')) : advance;
    // A pixel wider than the cell, which rounding may widen by one.
    QImage image(int(cellWidth) + 2, m_inkBottom - m_inkTop + 1, QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.setFont(m_face);
    painter.setPen(m_colour);
    painter.drawText(QPointF((cellWidth - advance) / 2, m_baseline - m_inkTop), QString(c));
    painter.end();
    return *m_glyphs.insert(c, image);
}

void TickingText::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    QRegion rest = event->region();
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const QRect where = cell(i);
        if (!rest.intersects(where))
            continue;
        // The whole image, though it reaches a pixel past the cell, where the
        // painting is clipped anyway: a part of an image is painted in
        // Qt's general way, which hands a tall area to a pool of threads and
        // so wakes them every second.
        painter.drawImage(where.topLeft(), glyph(m_text.at(i)));
        rest -= where;
    }
    for (const QRect &part : rest)
        painter.fillRect(part, palette().color(QPalette::Window));
}
