#include "ui/screen/FittedLabel.h"

#include "ui/screen/TypeFit.h"

#include <QPainter>

#include <algorithm>

namespace {

// The smallest type a candidate at the back of the room can still read, as
// a share of the screen's height (12 pixels at 600), never below 8.
constexpr int ReadableShare = 50;
constexpr int SmallestPixels = 8;

} // namespace

FittedLabel::FittedLabel(QWidget *parent, qreal largest, bool wrap, QFont::Weight weight)
    : QLabel(parent), m_largest(largest), m_wrap(wrap), m_fitted(font())
{
    m_fitted.setWeight(weight);
    setAlignment(Qt::AlignCenter);
    setWordWrap(wrap);
    // Drawn as it is: a screen reader must hear the same text, not one
    // read as markup with its tags and entities taken out.
    setTextFormat(Qt::PlainText);
}

int FittedLabel::flags() const
{
    return int(alignment()) | (m_wrap ? int(Qt::TextWordWrap) : 0);
}

void FittedLabel::fit()
{
    if (text() == m_fittedFor && size() == m_fittedIn)
        return;
    m_fittedFor = text();
    m_fittedIn = size();
    const int readable = std::max(SmallestPixels, window()->height() / ReadableShare);
    m_fitted.setPixelSize(TypeFit::pixelSize(m_fitted, contentsRect(), flags(), text(),
                                             int(contentsRect().height() * m_largest), readable));
    m_lines = TypeFit::elidedLines(m_fitted, contentsRect(), m_wrap, text());
}

QFont FittedLabel::shownFont()
{
    fit();
    return m_fitted;
}

QStringList FittedLabel::shownLines()
{
    fit();
    return m_lines;
}

void FittedLabel::paintEvent(QPaintEvent *)
{
    fit();
    QPainter painter(this);
    painter.setFont(m_fitted);
    painter.setPen(palette().color(foregroundRole()));
    const QRect space = contentsRect();
    if (m_lines.isEmpty()) {
        painter.drawText(space, flags(), text());
        return;
    }
    const int spacing = QFontMetrics(m_fitted).lineSpacing();
    QRect line(space.left(), space.top() + (space.height() - spacing * int(m_lines.size())) / 2,
               space.width(), spacing);
    for (const QString &text : m_lines) {
        painter.drawText(line, Qt::AlignCenter, text);
        line.translate(0, spacing);
    }
}
