#include "controls/xpPages.h"

#include "controls/PageAreaStyle.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolTip>

#include <algorithm>

TxpPageControl::TxpPageControl(QWidget *parent) : QTabWidget(parent)
{
    auto *pageArea = new PageAreaStyle;
    pageArea->setParent(this);
    QTabWidget::setStyle(pageArea);
    // The control draws, hit-tests and keys its tabs itself; the base class's bar only keeps
    // the tabs' texts, visibility and the current one.
    tabBar()->hide();
    setFocusProxy(nullptr);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // Moving from the strip onto a page leaves the strip without a leave event of its own.
    if (auto *stack = findChild<QStackedWidget *>(QString(), Qt::FindDirectChildrenOnly))
        stack->installEventFilter(this);
    connect(this, &QTabWidget::currentChanged, this, [this] {
        update();
        if (m_userChange)
            emit Change();
    });
}

TxpTabSheet *TxpPageControl::addSheet(const QString &caption)
{
    auto *sheet = new TxpTabSheet;
    addTab(sheet, caption);
    return sheet;
}

TxpTabSheet *TxpPageControl::Sheet(int pageIndex) const
{
    return qobject_cast<TxpTabSheet *>(widget(pageIndex));
}

ColorValue TxpPageControl::sheetColor(int pageIndex) const
{
    const TxpTabSheet *sheet = Sheet(pageIndex);
    return sheet ? sheet->Color() : clWhite;
}

void TxpPageControl::setStyle(TxpPageControlStyle style)
{
    if (style == m_Style)
        return;
    if (isButtonStyle(style))
        m_TabPosition = tpTop;
    m_Style = style;
    restructure();
}

void TxpPageControl::setTabPosition(TxpTabPosition position)
{
    if (position == m_TabPosition)
        return;
    if (isButtonStyle(m_Style) && position != tpTop)
        throw TabPositionError();
    m_TabPosition = position;
    restructure();
}

void TxpPageControl::setOwnerDraw(bool ownerDraw)
{
    if (assignChanged(m_OwnerDraw, ownerDraw))
        restructure();
}

void TxpPageControl::setBorderColor(ColorValue color)
{
    if (assignChanged(m_BorderColor, color))
        update();
}

void TxpPageControl::setTabTextAlignment(TxpTextAlignment alignment)
{
    if (assignChanged(m_TabTextAlignment, alignment))
        update();
}

void TxpPageControl::setHotTrack(bool hotTrack)
{
    if (assignChanged(m_HotTrack, hotTrack))
        update();
}

void TxpPageControl::setTabWidth(int width)
{
    if (assignChanged(m_TabWidth, width))
        restructure();
}

void TxpPageControl::setTabHeight(int height)
{
    if (assignChanged(m_TabHeight, height))
        restructure();
}

void TxpPageControl::setImageList(GlyphList *list)
{
    if (m_ImageList)
        disconnect(m_ImageList, nullptr, this, nullptr);
    m_ImageList = list;
    for (int i = 0; i < count(); ++i) {
        if (TxpTabSheet *sheet = Sheet(i))
            sheet->setImageIndex(list ? i : -1);
    }
    if (list) {
        connect(list, &GlyphList::changed, this, &TxpPageControl::ApplyTabGlyphs);
        // Queued: the list is gone by then, and the tabs lose their glyph room.
        connect(list, &QObject::destroyed, this, &TxpPageControl::restructure,
                Qt::QueuedConnection);
    }
    ApplyTabGlyphs();
    restructure();
}

void TxpPageControl::ApplyTabGlyphs()
{
    if (!m_ImageList)
        return;
    for (int i = 0; i < count(); ++i) {
        int glyph = i;
        if (m_OnGlyphMap)
            m_OnGlyphMap(this, i, glyph);
        setTabImageIndex(i, glyph);
    }
}

int TxpPageControl::tabImageIndex(int pageIndex) const
{
    const QVariant image = tabBar()->tabData(pageIndex);
    return image.isValid() ? image.toInt() : -1;
}

void TxpPageControl::setTabImageIndex(int pageIndex, int imageIndex)
{
    tabBar()->setTabData(pageIndex, imageIndex);
    update();
}

int TxpPageControl::selectedTabItem() const
{
    const int current = currentIndex();
    if (current < 0 || !isTabVisible(current))
        return -1;
    int tab = 0;
    for (int i = 0; i < current; ++i)
        tab += isTabVisible(i);
    return tab;
}

int TxpPageControl::TabToPageIndex(int tab) const
{
    const int pages = count();
    if (pages == 0 || tab < 0 || tab >= pages)
        return -1;
    int visible = 0;
    for (int i = 0; i < pages; ++i) {
        if (isTabVisible(i) && ++visible > tab)
            return i;
    }
    return pages - 1;
}

QSize TxpPageControl::tabSize(int pageIndex) const
{
    const QFontMetrics metrics = fontMetrics();
    const int glyphRoom = m_ImageList ? m_ImageList->width() + 6 : 0;
    const int glyphHeight = m_ImageList ? m_ImageList->height() : 0;
    return {m_TabWidth > 0 ? m_TabWidth
                           : metrics.horizontalAdvance(tabText(pageIndex)) + glyphRoom + 12,
            m_TabHeight > 0 ? m_TabHeight : std::max(metrics.height(), glyphHeight) + 6};
}

TabStripLayout TxpPageControl::strip() const
{
    QList<QSize> sizes;
    for (int i = 0; i < count(); ++i) {
        if (isTabVisible(i))
            sizes << tabSize(i);
    }
    return TabStripLayout::compute(m_Style, m_TabPosition, size(), sizes);
}

void TxpPageControl::restructure()
{
    // The base class places its pages anew, asking PageAreaStyle where.
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(this, &request);
    update();
    if (QWidget *page = currentWidget())
        page->update();
}

void TxpPageControl::selectByUser(int pageIndex)
{
    const QScopedValueRollback<bool> byUser(m_userChange, true);
    setCurrentIndex(pageIndex);
}

void TxpPageControl::selectNeighbour(int step, bool wrap)
{
    const int pages = count();
    int page = currentIndex();
    for (int tried = 1; tried < pages; ++tried) {
        page += step;
        if (page < 0 || page >= pages) {
            if (!wrap)
                return;
            page = (page + pages) % pages;
        }
        if (isTabVisible(page) && isTabEnabled(page)) {
            selectByUser(page);
            return;
        }
    }
}

bool TxpPageControl::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTabWidget::event(event);
    if (!m_ShowHint) {
        QToolTip::hideText();
        return true;
    }
    const auto *help = static_cast<QHelpEvent *>(event);
    const int tab = tabItemAt(help->pos());
    const TxpTabSheet *sheet = Sheet(TabToPageIndex(tab));
    if (sheet && sheet->ShowTabHint() && !sheet->TabHint().isEmpty()) {
        // Tied to the tab's rectangle, so that the next tab asks again.
        QToolTip::showText(help->globalPos(), sheet->TabHint().section(QLatin1Char('|'), 0, 0),
                           this, tabItemRect(tab));
        return true;
    }
    return QTabWidget::event(event);
}

void TxpPageControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int page = TabToPageIndex(tabItemAt(event->position().toPoint()));
        if (page >= 0 && isTabEnabled(page))
            selectByUser(page);
    }
    QTabWidget::mousePressEvent(event);
}

void TxpPageControl::mouseMoveEvent(QMouseEvent *event)
{
    pointerMoved(tabItemAt(event->position().toPoint()));
    if (m_Style != pcsXP)
        QTabWidget::mouseMoveEvent(event);
}

void TxpPageControl::leaveEvent(QEvent *)
{
    pointerLeft();
}

bool TxpPageControl::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter)
        pointerLeft();
    return QTabWidget::eventFilter(watched, event);
}

// Hot edges are part of the painting, so switching one on or off is a repaint.
void TxpPageControl::pointerMoved(int tab)
{
    if (m_Style == pcsXP) {
        if (m_HotTrack && tab != m_HotTabIndex) {
            m_HotTabIndex = tab;
            update();
        }
    } else if (tab != m_pointerTab) {
        m_pointerTab = tab;
        update();
    }
}

// The selected tab stays hot: it carries its hot edge for good.
void TxpPageControl::pointerLeft()
{
    if (m_HotTrack && m_HotTabIndex != -1 && m_HotTabIndex != selectedTabItem()) {
        m_HotTabIndex = -1;
        update();
    }
    if (m_pointerTab != -1) {
        m_pointerTab = -1;
        update();
    }
}

void TxpPageControl::keyPressEvent(QKeyEvent *event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    if (control && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
        const bool back = key == Qt::Key_Backtab || event->modifiers() & Qt::ShiftModifier;
        selectNeighbour(back ? -1 : 1, true);
        return;
    }
    // Arrows only while the strip itself has the focus: a page's controls keep theirs.
    if (hasFocus() && !control) {
        if (key == Qt::Key_Left || key == Qt::Key_Up) {
            selectNeighbour(-1, false);
            return;
        }
        if (key == Qt::Key_Right || key == Qt::Key_Down) {
            selectNeighbour(1, false);
            return;
        }
    }
    event->ignore();
}

void TxpPageControl::changeEvent(QEvent *event)
{
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        restructure();
}
