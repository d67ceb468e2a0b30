#include "ui/screen/FittedLabel.h"

#include "ui/screen/TypeFit.h"

#include <QPainter>

FittedLabel::FittedLabel(QWidget *parent, qreal largest, bool wrap, QFont::Weight weight)
    : QLabel(parent), m_largest(largest), m_wrap(wrap), m_fitted(font())
{
    m_fitted.setWeight(weight);
    setAlignment(Qt::AlignCenter);
    setWordWrap(wrap);
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
    m_fitted.setPixelSize(TypeFit::pixelSize(m_fitted, contentsRect(), flags(), text(),
                                             int(contentsRect().height() * m_largest)));
}

void FittedLabel::paintEvent(QPaintEvent *)
{
    fit();
    QPainter painter(this);
    painter.setFont(m_fitted);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), flags(), text());
}
