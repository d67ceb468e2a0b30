#include "controls/TxpTabSheet.h"

#include "controls/xpPages.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

TxpTabSheet::TxpTabSheet(QWidget *parent) : QWidget(parent) {}

TxpPageControl *TxpTabSheet::PageControl() const
{
    // The base class keeps its pages in a stack widget of its own.
    const QWidget *stack = parentWidget();
    auto *control = stack ? qobject_cast<TxpPageControl *>(stack->parentWidget()) : nullptr;
    return control && control->indexOf(const_cast<TxpTabSheet *>(this)) >= 0 ? control : nullptr;
}

int TxpTabSheet::PageIndex() const
{
    const TxpPageControl *control = PageControl();
    return control ? control->indexOf(const_cast<TxpTabSheet *>(this)) : -1;
}

void TxpTabSheet::setColor(ColorValue color)
{
    if (!assignChanged(m_Color, color))
        return;
    update();
    if (TxpPageControl *control = PageControl())
        control->update();
}

void TxpTabSheet::setGradientStartColor(ColorValue color)
{
    if (assignChanged(m_GradientStartColor, color))
        update();
}

void TxpTabSheet::setGradientEndColor(ColorValue color)
{
    if (assignChanged(m_GradientEndColor, color))
        update();
}

void TxpTabSheet::setGradientFillDir(TFillDirection direction)
{
    if (assignChanged(m_GradientFillDir, direction))
        update();
}

void TxpTabSheet::setBGStyle(TxpTabBGStyle style)
{
    if (assignChanged(m_BGStyle, style))
        update();
}

void TxpTabSheet::setBGImage(const QImage &image)
{
    m_BGImage = image.copy();
    update();
    if (m_BGImage.isNull() && (m_BGStyle == bgsTileImage || m_BGStyle == bgsStrechImage))
        m_BGStyle = bgsNone;
}

void TxpTabSheet::setImageIndex(int index)
{
    index = std::max(index, -1);
    TxpPageControl *control = PageControl();
    if (index == m_ImageIndex || !control)
        return;
    m_ImageIndex = index;
    control->setTabImageIndex(PageIndex(), index);
}

void TxpTabSheet::paintEvent(QPaintEvent *event)
{
    m_DrawCanvas.begin(size(), palette(), devicePixelRatioF());
    const QRect client = rect();
    const bool hasImage = !m_BGImage.isNull();
    if (m_BGStyle == bgsGradient)
        FillGradient(m_DrawCanvas, client, m_GradientStartColor, m_GradientEndColor,
                     m_GradientFillDir, 60);
    else if (m_BGStyle == bgsTileImage && hasImage)
        TileBitmap(m_DrawCanvas, client, m_BGImage);
    else if (m_BGStyle == bgsStrechImage && hasImage)
        m_DrawCanvas.drawImage(client, m_BGImage);
    else
        m_DrawCanvas.fillRect(client, m_Color);
    m_DrawCanvas.end();
    m_DrawCanvas.paint(this, event->rect());
}
