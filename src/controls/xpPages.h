#pragma once

#include <QTabWidget>

// A page of a TxpPageControl.
class TxpTabSheet : public QWidget
{
    Q_OBJECT

public:
    explicit TxpTabSheet(QWidget *parent = nullptr);
};

// A page control whose tabs the user switches between. Change() is the
// user's tab change only: choosing a page from code does not send it.
class TxpPageControl : public QTabWidget
{
    Q_OBJECT

public:
    explicit TxpPageControl(QWidget *parent = nullptr);

    // Appends a new sheet with this caption and returns it.
    TxpTabSheet *addSheet(const QString &caption);

signals:
    void Change();

private:
    bool m_userChange = false;
};
