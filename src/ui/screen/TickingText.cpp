#include "ui/screen/TickingText.h"

#include "ui/screen/TypeFit.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

TickingText::TickingText(QWidget *parent, QFont::Weight weight)
    : QWidget(parent), m_colour(palette().color(QPalette::WindowText)), m_face(font())
{
    m_face.setWeight(weight);
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
            update(place(i));
}

void TickingText::setColour(const QColor &colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
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
    const QRectF ink = metrics.tightBoundingRect(m_shape);
    m_baseline =
        int(space.height() / 2.0 - (metrics.ascent() + metrics.descent()) / 2.0 + metrics.ascent());
    m_inkTop = std::max(0, m_baseline + int(ink.top()) - margin());
    m_inkBottom = std::min(space.height(), m_baseline + int(ink.bottom()) + margin());
    m_left.clear();
    m_width.clear();
    qreal x = (space.width() - metrics.horizontalAdvance(m_shape)) / 2.0;
    for (QChar c : std::as_const(m_shape)) {
        const qreal advance = metrics.horizontalAdvance(c);
        m_left.append(x);
        m_width.append(advance);
        x += advance;
    }
}

int TickingText::margin() const
{
    // Antialiasing, and digits other than the 8 measured, reach a little
    // beyond the measured ink.
    return 2 + m_face.pixelSize() / 20;
}

QRect TickingText::place(qsizetype i) const
{
    const int margin = this->margin();
    const int left = int(m_left.at(i)) - margin;
    const int right = int(m_left.at(i) + m_width.at(i)) + 1 + margin;
    return QRect(QPoint(left, m_inkTop), QPoint(right, m_inkBottom));
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
    const qreal inset =
        c.isDigit() ? (metrics.horizontalAdvance(QLatin1Char('8')) - advance) / 2 : 0;
    const int margin = this->margin();
    QImage image(int(advance + 2 * inset) + 1 + 2 * margin, m_inkBottom - m_inkTop,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(m_face);
    painter.setPen(m_colour);
    painter.drawText(QPointF(margin + inset, m_baseline - m_inkTop), QString(c));
    painter.end();
    return *m_glyphs.insert(c, image);
}

void TickingText::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const QRect where = place(i);
        if (event->region().intersects(where))
            painter.drawImage(where.topLeft(), glyph(m_text.at(i)));
    }
}
