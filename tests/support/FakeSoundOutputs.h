#pragma once

#include "platform/SoundOutputs.h"

#include <QSemaphore>

// One output unless told otherwise.
class FakeSoundOutputs final : public SoundOutputs
{
public:
    int count() const override
    {
        if (system)
            return system->count();
        // A server slow to count: the answer comes when the test lets it.
        if (answerWhen)
            answerWhen->tryAcquire(1, 5000);
        return m_count;
    }
    void setCount(int count) { m_count = count; }

    QSemaphore *answerWhen = nullptr;
    // Counts the system's outputs instead, for a run on the real device.
    const SoundOutputs *system = nullptr;

private:
    int m_count = 1;
};
