#pragma once

#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

// The fixed-position controls the windows are laid out from.
namespace Controls {

QLabel *label(QWidget *parent, const QString &text, int x, int y, int width);
QPushButton *button(QWidget *parent, const QString &caption, int x, int y, int width = 75);
QFrame *rule(QWidget *parent, int x, int y, int width);

} // namespace Controls
