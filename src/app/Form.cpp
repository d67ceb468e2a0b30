#include "app/Form.h"

#include <QCloseEvent>
#include <QGuiApplication>
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
    m_shell.errors.guard([this] { FormClose(); });
    event->accept();
}
