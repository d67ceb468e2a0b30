#include "ui/common/Controls.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace Controls {

QLabel *label(QWidget *parent, const QString &text, int x, int y, int width)
{
    auto *result = new QLabel(text, parent);
    result->setGeometry(x, y, width, 20);
    return result;
}

QPushButton *button(QWidget *parent, const QString &caption, int x, int y, int width)
{
    auto *result = new QPushButton(caption, parent);
    result->setGeometry(x, y, width, 25);
    return result;
}

QFrame *rule(QWidget *parent, int x, int y, int width)
{
    auto *result = new QFrame(parent);
    result->setFrameShape(QFrame::HLine);
    result->setFrameShadow(QFrame::Sunken);
    result->setGeometry(x, y, width, 2);
    return result;
}

} // namespace Controls
