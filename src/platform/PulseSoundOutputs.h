#pragma once

#include "platform/SoundOutputs.h"

// The sound server's outputs (sinks), asked anew on every count: a server
// started or restarted after the program is seen; without one there are none.
class PulseSoundOutputs final : public SoundOutputs
{
public:
    PulseSoundOutputs() = default;
    Q_DISABLE_COPY_MOVE(PulseSoundOutputs)

    int count() const override;
};
