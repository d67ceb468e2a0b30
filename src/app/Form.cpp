#include "app/Form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

Form::Form(Shell &shell, const QString &caption, QSize clientSize, TitleButtons buttons)
    : m_shell(shell)
{
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    if (buttons == TitleButtons::MinimiseAndClose)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setWindowTitle(caption);
    setFixedSize(clientSize);
}

void Form::centreOnScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form::centreOn(const QWidget *other)
{
    move(other->geometry().center() - rect().center());
}

void Form::growBy(int delta)
{
    setFixedHeight(height() + delta);
}

void Form::closeEvent(QCloseEvent *event)
{
    // A disabled window waits for the window opened over it, which will hand
    // its input back; closing it now would pull the ground from under that
    // window (and closing the main window would end the program).
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    m_shell.errors.guard([this] { FormClose(); });
    event->accept();
}

void Form::keyPressEvent(QKeyEvent *event)
{
    // Only keys no control of the window took come here: a memo keeps its
    // Enter, an open list its Escape.
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        m_shell.errors.guard([this] { escape(); });
        return;
    }
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    auto *pressed = qobject_cast<QPushButton *>(focusWidget());
    if (!pressed)
        pressed = mainButton();
    if (pressed && pressed->isEnabled() && pressed->isVisible())
        pressed->click();
}
