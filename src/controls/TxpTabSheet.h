#pragma once

#include "controls/Colors.h"
#include "controls/DrawingSurface.h"
#include "controls/XPGraphUtil.h"
#include "controls/xpPageTypes.h"

#include <QImage>
#include <QWidget>

class TxpPageControl;

// A page of a TxpPageControl, painted in its own colour or background; in pcsXP its tab takes the
// same colour. Its caption and whether its tab shows are the page control's (tabText,
// setTabVisible).
class TxpTabSheet final : public QWidget
{
    Q_OBJECT

public:
    explicit TxpTabSheet(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TxpTabSheet)

    // The control holding this sheet, nullptr while it has none.
    TxpPageControl *PageControl() const;
    // -1 while it has no page control.
    int PageIndex() const;

    ColorValue Color() const { return m_Color; }
    void setColor(ColorValue color);
    ColorValue GradientStartColor() const { return m_GradientStartColor; }
    void setGradientStartColor(ColorValue color);
    ColorValue GradientEndColor() const { return m_GradientEndColor; }
    void setGradientEndColor(ColorValue color);
    TFillDirection GradientFillDir() const { return m_GradientFillDir; }
    void setGradientFillDir(TFillDirection direction);
    TxpTabBGStyle BGStyle() const { return m_BGStyle; }
    void setBGStyle(TxpTabBGStyle style);
    // The sheet keeps its own copy. An empty picture ends the image styles: BGStyle becomes
    // bgsNone.
    const QImage &BGImage() const { return m_BGImage; }
    void setBGImage(const QImage &image);

    // The glyph of its tab in pcsXP; values below -1 are taken as -1. Stored only while the
    // sheet is on a page control, whose tab image it also sets.
    int ImageIndex() const { return m_ImageIndex; }
    void setImageIndex(int index);

    // The hint over its tab is TabHint up to its first "|".
    bool ShowTabHint() const { return m_ShowTabHint; }
    void setShowTabHint(bool show) { m_ShowTabHint = show; }
    const QString &TabHint() const { return m_TabHint; }
    void setTabHint(const QString &hint) { m_TabHint = hint; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DrawingSurface m_DrawCanvas;
    ColorValue m_Color = clWhite;
    ColorValue m_GradientStartColor = clWhite;
    ColorValue m_GradientEndColor = clSilver;
    TFillDirection m_GradientFillDir = fdTopToBottom;
    int m_ImageIndex = -1;
    bool m_ShowTabHint = false;
    QString m_TabHint;
    QImage m_BGImage;
    TxpTabBGStyle m_BGStyle = bgsNone;
};
