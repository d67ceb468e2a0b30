#pragma once

#include <QString>

class QWidget;

// Message boxes, modal unless said otherwise. Windows show every message
// through this, so tests can answer them and read back what was shown.
class MessageBoxes
{
public:
    enum class Buttons
    {
        Ok,
        OkCancel
    };
    enum class Icon
    {
        None,
        Information,
        Warning,
        Error
    };
    enum class Answer
    {
        Ok,
        Cancel
    };

    virtual ~MessageBoxes() = default;
    virtual Answer show(QWidget *owner, const QString &text, const QString &caption,
                        Buttons buttons, Icon icon) = 0;

    // A short information message: the program title as caption, OK only.
    void inform(QWidget *owner, const QString &text)
    {
        show(owner, text, QStringLiteral("Tessivox"), Buttons::Ok, Icon::None);
    }

    // A short information message that waits for nobody: it returns at once
    // and the box stays until it is closed. An owner (not null) has one such
    // box at a time; a notice while it is open replaces its text.
    virtual void notice(QWidget *owner, const QString &text) = 0;
};
