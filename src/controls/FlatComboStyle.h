#pragma once

#include <QProxyStyle>

// The application's style with the geometry of the flat combo box: the edit field fills the text
// area left of the flat button, everything right of it counts as the arrow, and the list drops
// below the box instead of opening over it like a menu.
class FlatComboStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    explicit FlatComboStyle(int flatButtonWidth);
    Q_DISABLE_COPY_MOVE(FlatComboStyle)

    // rect is the whole combo box.
    QRect editFieldRect(const QRect &rect) const;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr,
                  const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl subControl, const QWidget *widget = nullptr) const override;

private:
    int m_flatButtonWidth;
};
