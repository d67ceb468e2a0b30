// The painting half of TxpPageControl: the strip in pcsXP or in a plain tab control's look.
#include "controls/xpPages.h"

#include "controls/ClassicTabs.h"
#include "controls/XpTabs.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

void TxpPageControl::paintEvent(QPaintEvent *event)
{
    const TabStripLayout tabs = strip();
    m_DrawCanvas.begin(size(), palette(), devicePixelRatioF());
    // What the tabs leave of the strip shows the control's own background.
    m_DrawCanvas.fillRect(rect(), fromQColor(palette().color(QPalette::Active, backgroundRole())));
    if (m_Style == pcsXP)
        paintXP(tabs);
    else
        paintPlain(tabs);
    m_DrawCanvas.end();
    m_DrawCanvas.paint(this, event->rect());
}

void TxpPageControl::paintXP(const TabStripLayout &tabs)
{
    DrawFrameBorder(m_DrawCanvas);
    int tab = 0;
    for (int i = 0; i < count(); ++i) {
        if (!isTabVisible(i))
            continue;
        const QRect rect = tabs.tabs.value(tab);
        if (m_OwnerDraw && m_OnDrawItem)
            m_OnDrawItem(this, i, m_DrawCanvas, rect, {});
        else
            DrawXPTab(rect, tab, i);
        ++tab;
    }
    // A tab hidden since it became hot has no edge to show.
    if (m_HotTrack && m_HotTabIndex >= 0 && m_HotTabIndex < tabs.tabs.size() &&
        m_HotTabIndex != selectedTabItem())
        XpTabs::drawHotEdge(m_DrawCanvas, tabs.tabs.at(m_HotTabIndex), m_TabPosition);
}

void TxpPageControl::DrawXPTab(const QRect &rect, int tab, int pageIndex)
{
    const XpTabs::TabLook look{sheetColor(pageIndex), m_BorderColor, tab == selectedTabItem(),
                               m_HotTrack};
    DrawTabCaption(pageIndex, m_DrawCanvas,
                   XpTabs::drawTab(m_DrawCanvas, rect, m_TabPosition, look));
}

void TxpPageControl::DrawTabCaption(int pageIndex, DrawingSurface &surface, const QRect &rect)
{
    const QWidget *page = widget(pageIndex);
    const TxpTabSheet *sheet = Sheet(pageIndex);
    surface.setBrushStyle(DrawingSurface::BrushStyle::Hollow);
    surface.setFont(page ? page->font() : font());

    const int glyphRoom = m_ImageList ? m_ImageList->width() + 6 : 0;
    const QRect text = rect.adjusted(2 + glyphRoom, 2, -2, -2);
    const QString caption =
        QFontMetrics(surface.font()).elidedText(tabText(pageIndex), Qt::ElideRight, text.width());
    const Qt::Alignment alignment = m_TabTextAlignment == taLeftJustify    ? Qt::AlignLeft
                                    : m_TabTextAlignment == taRightJustify ? Qt::AlignRight
                                                                           : Qt::AlignHCenter;
    const int flags = int(alignment | Qt::AlignVCenter) | Qt::TextSingleLine;
    surface.setFontColor(DarkenColor(sheetColor(pageIndex), 30, palette()));
    surface.drawText(text.translated(1, 1), caption, flags);
    const QWidget *colored = page ? page : this;
    surface.setFontColor(fromQColor(colored->palette().color(colored->foregroundRole())));
    surface.drawText(text, caption, flags);

    if (m_ImageList && sheet) {
        const QImage glyph = m_ImageList->image(sheet->ImageIndex());
        const int bottom = rect.top() + rect.height();
        if (!glyph.isNull())
            surface.drawImage(QPoint(rect.left() + 3, (rect.top() + bottom - glyph.height()) / 2),
                              glyph);
    }
}

void TxpPageControl::DrawFrameBorder(DrawingSurface &surface)
{
    surface.setBrushStyle(DrawingSurface::BrushStyle::Hollow);
    surface.setPenColor(m_BorderColor);
    surface.rectangle(BorderRect());
}

void TxpPageControl::paintPlain(const TabStripLayout &tabs)
{
    DrawingSurface &surface = m_DrawCanvas;
    if (m_Style == pcsTabs)
        ClassicTabs::drawPaneFrame(surface, tabs.pages.adjusted(-2, -2, 2, 2));
    // The selected tab overlaps its neighbours, so it comes last.
    const int selected = selectedTabItem();
    QList<int> order;
    for (int tab = 0; tab < tabs.tabs.size(); ++tab) {
        if (tab != selected)
            order << tab;
    }
    if (selected >= 0)
        order << selected;

    for (const int tab : order) {
        const QRect rect = tabs.tabs.at(tab);
        const bool isSelected = tab == selected;
        const bool hot = tab == m_pointerTab;
        QRect content;
        if (m_Style == pcsTabs)
            content = ClassicTabs::drawTab(surface, rect, m_TabPosition, isSelected);
        else if (m_Style == pcsButtons)
            content = ClassicTabs::drawButton(surface, rect, isSelected);
        else
            content = ClassicTabs::drawFlatButton(surface, rect, isSelected, hot);

        surface.setFont(font());
        surface.setFontColor(clBtnText);
        if (m_OwnerDraw) {
            surface.setBrushColor(fromQColor(palette().color(QPalette::Active, backgroundRole())));
            DrawOwnerTab(tab, content,
                         isSelected ? TOwnerDrawState(odSelected) : TOwnerDrawState());
        } else {
            drawPlainCaption(tab, content, hot && m_HotTrack && m_Style == pcsTabs);
        }
        if (isSelected && hasFocus()) {
            surface.setFontColor(clBtnText);
            surface.focusRect(content);
        }
    }
}

void TxpPageControl::drawPlainCaption(int tab, const QRect &rect, bool hot)
{
    DrawingSurface &surface = m_DrawCanvas;
    const int page = TabToPageIndex(tab);
    QRect text = rect;
    const QImage glyph = m_ImageList ? m_ImageList->image(tabImageIndex(page)) : QImage();
    if (!glyph.isNull()) {
        surface.drawImage(QPoint(rect.left(), rect.top() + (rect.height() - glyph.height()) / 2),
                          glyph);
        text.setLeft(rect.left() + glyph.width() + 3);
    }
    if (!isEnabled() || !isTabEnabled(page))
        surface.setFontColor(fromQColor(palette().color(QPalette::Disabled, QPalette::ButtonText)));
    else if (hot)
        surface.setFontColor(clHighlight);
    const QString caption =
        QFontMetrics(surface.font()).elidedText(tabText(page), Qt::ElideRight, text.width());
    surface.drawText(text, caption, Qt::AlignCenter | Qt::TextSingleLine);
}

void TxpPageControl::DrawOwnerTab(int tab, const QRect &rect, TOwnerDrawState state)
{
    if (m_OnDrawItem) {
        m_OnDrawItem(this, tab, m_DrawCanvas, rect, state);
        return;
    }
    FillGradient(m_DrawCanvas, rect, clWhite, 0x00DCDCDC, fdVerticalFromCenter,
                 quint8(rect.height() / 2));
    m_DrawCanvas.setBrushStyle(DrawingSurface::BrushStyle::Hollow);
    const int y = rect.top() + (rect.height() - QFontMetrics(m_DrawCanvas.font()).height()) / 2;
    m_DrawCanvas.textOut(QPoint(rect.left() + (state & odSelected ? 16 : 12), y),
                         tabText(TabToPageIndex(tab)));
}
