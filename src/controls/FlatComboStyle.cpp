#include "controls/FlatComboStyle.h"

#include "controls/DrawingSurface.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOption>

FlatComboStyle::FlatComboStyle(int flatButtonWidth)
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())),
      m_flatButtonWidth(flatButtonWidth)
{}

QRect FlatComboStyle::editFieldRect(const QRect &rect) const
{
    const int right = rect.left() + rect.width();
    const int bottom = rect.top() + rect.height();
    return rectLTRB(rect.left() + 3, rect.top() + 3, right - m_flatButtonWidth - 5, bottom - 3);
}

int FlatComboStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                              QStyleHintReturn *returnData) const
{
    if (hint == SH_ComboBox_Popup)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QRect FlatComboStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                     SubControl subControl, const QWidget *widget) const
{
    if (control == CC_ComboBox && option) {
        const QRect edit = editFieldRect(option->rect);
        switch (subControl) {
        case SC_ComboBoxEditField:
            return edit;
        case SC_ComboBoxArrow:
            return rectLTRB(edit.left() + edit.width(), option->rect.top(),
                            option->rect.left() + option->rect.width(),
                            option->rect.top() + option->rect.height());
        default:
            break;
        }
    }
    return QProxyStyle::subControlRect(control, option, subControl, widget);
}
