#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <functional>

// Records every box shown and answers from a script (OK when the script is
// empty). A hook lets a test act while a modal box is "open".
class FakeMessageBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        Buttons buttons;
        Icon icon;
        QWidget *owner;
    };

    Answer show(QWidget *owner, const QString &text, const QString &caption, Buttons buttons,
                Icon icon) override
    {
        shown.append({text, caption, buttons, icon, owner});
        if (whileOpen)
            whileOpen(shown.last());
        return answers.isEmpty() ? Answer::Ok : answers.takeFirst();
    }

    // Waits for nobody, like the real one; the last text is the box that
    // stays open.
    void notice(QWidget *, const QString &text) override { notices.append(text); }

    QStringList texts() const
    {
        QStringList result;
        for (const Shown &box : shown)
            result << box.text;
        return result;
    }

    QList<Shown> shown;
    QList<Answer> answers;
    QStringList notices;
    std::function<void(const Shown &)> whileOpen;
};
