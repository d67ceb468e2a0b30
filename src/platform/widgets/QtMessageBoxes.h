#pragma once

#include "platform/MessageBoxes.h"

class QtMessageBoxes final : public MessageBoxes
{
public:
    Answer show(QWidget *owner, const QString &text, const QString &caption, Buttons buttons,
                Icon icon) override;
    void notice(QWidget *owner, const QString &text) override;
};
