#pragma once

#include "platform/SoundOutputs.h"

// One output unless told otherwise.
class FakeSoundOutputs final : public SoundOutputs
{
public:
    int count() const override { return m_count; }
    void setCount(int count) { m_count = count; }

private:
    int m_count = 1;
};
