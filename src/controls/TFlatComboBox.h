#pragma once

#include "controls/Colors.h"
#include "controls/DrawingSurface.h"
#include "controls/FlatUtilitys.h"

#include <QComboBox>
#include <QPointer>

class FlatComboStyle;

// A combo box with a flat look: a 1-pixel border, a narrow flat arrow button at the right edge and
// a list whose background is the box's colour. Items, selection, keyboard, the edit field and the
// list are QComboBox's own. Border and button colours can be derived from the parent's colour
// (UseAdvColors).
//
// Qt names for the remaining settings: ItemIndex is currentIndex, Items are the QComboBox items,
// Text is currentText, DropDownCount is maxVisibleItems.
class TFlatComboBox final : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(ComboStyle Style READ Style WRITE setStyle)
    Q_PROPERTY(quint32 Color READ Color WRITE setColor)
    Q_PROPERTY(quint32 ColorArrow READ ColorArrow WRITE setColorArrow)
    Q_PROPERTY(quint32 ColorArrowBackground READ ColorArrowBackground WRITE setColorArrowBackground)
    Q_PROPERTY(quint32 ColorBorder READ ColorBorder WRITE setColorBorder)
    Q_PROPERTY(int AdvColorBorder READ AdvColorBorder WRITE setAdvColorBorder)
    Q_PROPERTY(
        int AdvColorArrowBackground READ AdvColorArrowBackground WRITE setAdvColorArrowBackground)
    Q_PROPERTY(bool UseAdvColors READ UseAdvColors WRITE setUseAdvColors)
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE setItemHeight)

public:
    // csDropDown and csSimple are editable; the others choose from the list only. Qt has no
    // owner-drawn or always-open list, so csSimple behaves as csDropDown and the owner-draw
    // styles as csDropDownList.
    enum ComboStyle
    {
        csDropDown,
        csSimple,
        csDropDownList,
        csOwnerDrawFixed,
        csOwnerDrawVariable
    };
    Q_ENUM(ComboStyle)

    static constexpr ColorValue DefaultColorArrow = 0x00000000;
    static constexpr ColorValue DefaultColorArrowBackground = 0x00C5D6D9;
    static constexpr ColorValue DefaultColorBorder = 0x008396A0;
    static constexpr TAdvColors DefaultAdvColorArrowBackground = 10;
    static constexpr TAdvColors DefaultAdvColorBorder = 50;
    static constexpr int DefaultItemHeight = 13;

    explicit TFlatComboBox(QWidget *parent = nullptr);
    ~TFlatComboBox() override;
    Q_DISABLE_COPY_MOVE(TFlatComboBox)

    ComboStyle Style() const { return m_Style; }
    void setStyle(ComboStyle style);
    using QComboBox::setStyle;

    ColorValue Color() const { return m_Color; }
    void setColor(ColorValue color);

    // The three colours repaint even when assigned the value they already have.
    ColorValue ColorArrow() const { return m_ColorArrow; }
    void setColorArrow(ColorValue color) { setIndexedColor(0, color); }
    ColorValue ColorArrowBackground() const { return m_ColorArrowBackground; }
    void setColorArrowBackground(ColorValue color) { setIndexedColor(1, color); }
    ColorValue ColorBorder() const { return m_ColorBorder; }
    void setColorBorder(ColorValue color) { setIndexedColor(2, color); }

    // Derived colours overwrite ColorBorder and ColorArrowBackground; turning this off again
    // keeps them. Without a parent widget nothing is derived until the box gets one.
    bool UseAdvColors() const { return m_UseAdvColors; }
    void setUseAdvColors(bool use);
    // Percentages 0..100; larger values are taken as 100.
    TAdvColors AdvColorBorder() const { return m_AdvColorBorder; }
    void setAdvColorBorder(int percentage) { setIndexedAdvColor(0, percentage); }
    TAdvColors AdvColorArrowBackground() const { return m_AdvColorArrowBackground; }
    void setAdvColorArrowBackground(int percentage) { setIndexedAdvColor(1, percentage); }

    // Kept for the owner-draw styles' item height; Qt sizes the list's rows from the font. Every
    // font change resets it to 13.
    int ItemHeight() const { return m_ItemHeight; }
    void setItemHeight(int height) { m_ItemHeight = height; }

    int FlatButtonWidth() const { return m_FlatButtonWidth; }
    int SystemButtonWidth() const { return m_SystemButtonWidth; }
    bool ActiveState() const { return m_ActiveState; }
    bool isDroppedDown() const;

    // The flat button's core, in widget coordinates, right and bottom exclusive.
    QRect GetButtonRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setIndexedColor(int index, ColorValue color);
    void setIndexedAdvColor(int index, int percentage);
    void RecomputeDerivedColors();
    void applyColorToChildren();
    bool hasSelectionGap() const { return m_Style >= csDropDownList; }

    void PaintFrame(DrawingSurface &surface);
    void PaintButton(DrawingSurface &surface);
    void PaintSelectionGap(DrawingSurface &surface);
    void RepaintFrame(DrawingSurface &surface);
    void paintCurrentItem(DrawingSurface &surface);

    bool ComputeActive() const;
    void RefreshActive();

    ColorValue m_ColorArrow = DefaultColorArrow;
    ColorValue m_ColorArrowBackground = DefaultColorArrowBackground;
    ColorValue m_ColorBorder = DefaultColorBorder;
    bool m_UseAdvColors = false;
    TAdvColors m_AdvColorArrowBackground = DefaultAdvColorArrowBackground;
    TAdvColors m_AdvColorBorder = DefaultAdvColorBorder;
    const int m_FlatButtonWidth = 11;
    int m_SystemButtonWidth = 0;
    bool m_ActiveState = false;

    ComboStyle m_Style = csDropDown;
    ColorValue m_Color = clWindow;
    int m_ItemHeight = DefaultItemHeight;
    FlatComboStyle *m_flatStyle = nullptr;
    QPointer<QWidget> m_listWindow;
    DrawingSurface m_surface;
};
