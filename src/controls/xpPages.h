#pragma once

#include "controls/DrawingSurface.h"
#include "controls/GlyphList.h"
#include "controls/TabStripLayout.h"
#include "controls/TxpTabSheet.h"
#include "controls/xpPageTypes.h"

#include <QPointer>
#include <QTabWidget>

#include <functional>
#include <stdexcept>

// Raised when a tab position is asked for that the current style cannot show.
class TabPositionError final : public std::runtime_error
{
public:
    TabPositionError() : std::runtime_error("Tab position incompatible with current tab style") {}
};

// A page control that draws its tabs itself, in one of four styles and at any of the four
// edges: pcsXP with rounded tabs in their sheets' colours, a frame in BorderColor, caption
// shadows, glyphs and hot edges; pcsTabs, pcsButtons and pcsFlatButtons in the look of a plain
// tab control. The pages are TxpTabSheets.
//
// Tabs are counted among the visible ones only: tab k is the page TabToPageIndex(k).
// Change() is the user's tab change only (mouse or keyboard): choosing a page from code does
// not send it.
class TxpPageControl final : public QTabWidget
{
    Q_OBJECT

public:
    // index is a page index in pcsXP and a tab index in the other styles.
    using TDrawItemEvent =
        std::function<void(TxpPageControl *control, int index, DrawingSurface &canvas,
                           const QRect &rect, TOwnerDrawState state)>;
    using TGlyphMapEvent =
        std::function<void(TxpPageControl *control, int pageIndex, int &glyphIndex)>;

    explicit TxpPageControl(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TxpPageControl)

    // Appends a new sheet with this caption and returns it.
    TxpTabSheet *addSheet(const QString &caption);
    // nullptr for a page that is not a TxpTabSheet.
    TxpTabSheet *Sheet(int pageIndex) const;

    TxpPageControlStyle Style() const { return m_Style; }
    // The button styles bring the tabs to the top first.
    void setStyle(TxpPageControlStyle style);
    using QTabWidget::setStyle;
    TxpTabPosition TabPosition() const { return m_TabPosition; }
    // Throws TabPositionError, changing nothing, for any position but tpTop with a button style.
    void setTabPosition(TxpTabPosition position);
    bool OwnerDraw() const { return m_OwnerDraw; }
    void setOwnerDraw(bool ownerDraw);
    ColorValue BorderColor() const { return m_BorderColor; }
    void setBorderColor(ColorValue color);
    // Caption alignment in pcsXP; the other styles centre their captions.
    TxpTextAlignment TabTextAlignment() const { return m_TabTextAlignment; }
    void setTabTextAlignment(TxpTextAlignment alignment);
    bool HotTrack() const { return m_HotTrack; }
    void setHotTrack(bool hotTrack);
    // 0 sizes a tab to its caption.
    int TabWidth() const { return m_TabWidth; }
    void setTabWidth(int width);
    int TabHeight() const { return m_TabHeight; }
    void setTabHeight(int height);
    bool ShowHint() const { return m_ShowHint; }
    void setShowHint(bool show) { m_ShowHint = show; }

    // Not owned; the control lets go of a list that is destroyed.
    GlyphList *ImageList() const { return m_ImageList; }
    void setImageList(GlyphList *list);
    void setOnDrawItem(TDrawItemEvent handler) { m_OnDrawItem = std::move(handler); }
    void setOnGlyphMap(TGlyphMapEvent handler) { m_OnGlyphMap = std::move(handler); }

    // The tab under the pointer in pcsXP with HotTrack, -1 for none.
    int HotTabIndex() const { return m_HotTabIndex; }
    // The area the pages fill.
    QRect PageRect() const { return strip().pages; }
    // The page frame of pcsXP: the page area grown by 1 pixel at the left, right and bottom.
    QRect BorderRect() const { return PageRect().adjusted(-1, 0, 1, 1); }

    // The visible tabs' rectangles, the hit test (-1 for none) and the selected tab.
    QRect tabItemRect(int tab) const { return strip().tabs.value(tab); }
    int tabItemAt(QPoint point) const { return strip().tabAt(point); }
    int selectedTabItem() const;
    // The page of tab k, -1 when there is none.
    int TabToPageIndex(int tab) const;
    // The image the plain styles show on a page's tab: what the image list assignment, the
    // sheet's ImageIndex or OnGlyphMap last set. -1 for none.
    int tabImageIndex(int pageIndex) const;
    void setTabImageIndex(int pageIndex, int imageIndex);

    void DrawOwnerTab(int tab, const QRect &rect, TOwnerDrawState state);
    void DrawTabCaption(int pageIndex, DrawingSurface &surface, const QRect &rect);
    void DrawFrameBorder(DrawingSurface &surface);
    void ApplyTabGlyphs();

signals:
    void Change();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TabStripLayout strip() const;
    QSize tabSize(int pageIndex) const;
    // White for a page that is not a sheet.
    ColorValue sheetColor(int pageIndex) const;
    // A new look or layout: the pages move, the control and the active page repaint.
    void restructure();
    void selectByUser(int pageIndex);
    void selectNeighbour(int step, bool wrap);

    void paintXP(const TabStripLayout &tabs);
    void DrawXPTab(const QRect &rect, int tab, int pageIndex);
    void paintPlain(const TabStripLayout &tabs);
    void drawPlainCaption(int tab, const QRect &rect, bool hot);
    void pointerMoved(int tab);
    void pointerLeft();

    DrawingSurface m_DrawCanvas;
    QPointer<GlyphList> m_ImageList;
    TDrawItemEvent m_OnDrawItem;
    TGlyphMapEvent m_OnGlyphMap;
    ColorValue m_BorderColor = clSilver;
    int m_HotTabIndex = -1;
    TxpTabPosition m_TabPosition = tpTop;
    bool m_OwnerDraw = false;
    TxpPageControlStyle m_Style = pcsXP;
    TxpTextAlignment m_TabTextAlignment = taCenter;

    bool m_HotTrack = false;
    int m_TabWidth = 0;
    int m_TabHeight = 0;
    bool m_ShowHint = true;
    // The tab under the pointer for the plain styles' own hover look.
    int m_pointerTab = -1;
    bool m_userChange = false;
};
