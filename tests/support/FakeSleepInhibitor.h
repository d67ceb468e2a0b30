#pragma once

#include "platform/SleepInhibitor.h"

#include <QStringList>

// Counts the holds that are alive; refuses with refusal when it is set.
class FakeSleepInhibitor final : public SleepInhibitor
{
public:
    std::unique_ptr<Hold> keepAwake(const QString &why) override
    {
        reasons.append(why);
        ++held;
        return std::make_unique<Hold>(refusal, [this] { --held; });
    }

    QStringList reasons;
    int held = 0;
    QString refusal;
};
