#pragma once

#include "app/Shell.h"

#include <QSize>
#include <QWidget>

class QPushButton;

// Base of the program's windows: a fixed-size top-level window whose event
// handlers all run under the general error handler.
class Form : public QWidget
{
    Q_OBJECT

public:
    enum class TitleButtons
    {
        MinimiseAndClose,
        CloseOnly
    };

    Form(Shell &shell, const QString &caption, QSize clientSize,
         TitleButtons buttons = TitleButtons::MinimiseAndClose);

    // The creation handler; Shell::create runs it once the window exists.
    virtual void FormCreate() {}

    void centreOnScreen();
    void centreOn(const QWidget *other);
    // The window keeps a fixed size; this moves its height by delta.
    void growBy(int delta);

protected:
    // Connects a signal to a handler of this window that runs under the
    // general error handler.
    template <typename Sender, typename Signal, typename Handler>
    void on(Sender *sender, Signal signal, Handler handler)
    {
        connect(sender, signal, this, [this, handler] { m_shell.errors.guard(handler); });
    }

    template <typename Sender, typename Signal, typename Window>
    void on(Sender *sender, Signal signal, void (Window::*handler)())
    {
        on(sender, signal,
           [window = static_cast<Window *>(this), handler] { (window->*handler)(); });
    }

    // The close handler: runs when the user closes the window; the window
    // then hides. A disabled window ignores close requests.
    virtual void FormClose() {}
    void closeEvent(QCloseEvent *event) override;

    // What Enter presses when the focus is on no button; none by default.
    virtual QPushButton *mainButton() const { return nullptr; }
    // Escape: the window's own close unless a window says otherwise.
    virtual void escape() { close(); }
    // Enter and Escape as a desktop user expects of a dialog.
    void keyPressEvent(QKeyEvent *event) override;

    Shell &m_shell;
};
