#include "controls/PageAreaStyle.h"

#include "controls/xpPages.h"

#include <QApplication>
#include <QStyleFactory>

PageAreaStyle::PageAreaStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
{}

QRect PageAreaStyle::subElementRect(SubElement element, const QStyleOption *option,
                                    const QWidget *widget) const
{
    if (const auto *control = qobject_cast<const TxpPageControl *>(widget)) {
        switch (element) {
        case SE_TabWidgetTabPane:
        case SE_TabWidgetTabContents:
            return control->PageRect();
        case SE_TabWidgetTabBar:
        case SE_TabWidgetLeftCorner:
        case SE_TabWidgetRightCorner:
            return {};
        default:
            break;
        }
    }
    return QProxyStyle::subElementRect(element, option, widget);
}
