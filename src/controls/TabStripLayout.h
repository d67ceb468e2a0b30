#pragma once

#include "controls/xpPageTypes.h"

#include <QList>
#include <QRect>
#include <QSize>

// Where a page control's tabs stand and the area its pages get. Tabs line up from the strip's
// start; those beyond the control's edge are cut, there is no second row. Vertical strips take
// the widest tab's width for every tab.
struct TabStripLayout
{
    static TabStripLayout compute(TxpPageControlStyle style, TxpTabPosition position, QSize control,
                                  const QList<QSize> &tabSizes);

    // The first tab containing the point, -1 for none.
    int tabAt(QPoint point) const;

    QList<QRect> tabs;
    QRect pages;
};
