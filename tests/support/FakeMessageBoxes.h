#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <functional>

// Records every box shown and answers from a script (OK when the script is
// empty). A hook lets a test act while a box is "open".
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

    QStringList texts() const
    {
        QStringList result;
        for (const Shown &box : shown)
            result << box.text;
        return result;
    }

    QList<Shown> shown;
    QList<Answer> answers;
    std::function<void(const Shown &)> whileOpen;
};
