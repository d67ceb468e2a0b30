#pragma once

#include <QProxyStyle>

// The application's style with the page control's own geometry: its pages fill the area the
// control computes, and the base class's tab bar and corners get no room (the control draws and
// hit-tests its tabs itself).
class PageAreaStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    PageAreaStyle();
    Q_DISABLE_COPY_MOVE(PageAreaStyle)

    QRect subElementRect(SubElement element, const QStyleOption *option,
                         const QWidget *widget) const override;
};
