#pragma once

#include "platform/SoundOutputs.h"

// The system's active sound outputs, asked anew on every count, so that one
// plugged in or enabled after the program started is seen.
class WasapiSoundOutputs final : public SoundOutputs
{
public:
    WasapiSoundOutputs() = default;
    Q_DISABLE_COPY_MOVE(WasapiSoundOutputs)

    int count() const override;
};
