#include "controls/xpPages.h"

#include <QTabBar>

TxpTabSheet::TxpTabSheet(QWidget *parent) : QWidget(parent) {}

TxpPageControl::TxpPageControl(QWidget *parent) : QTabWidget(parent)
{
    connect(tabBar(), &QTabBar::tabBarClicked, this, [this] { m_userChange = true; });
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (std::exchange(m_userChange, false))
            emit Change();
    });
}

TxpTabSheet *TxpPageControl::addSheet(const QString &caption)
{
    auto *sheet = new TxpTabSheet;
    addTab(sheet, caption);
    return sheet;
}
