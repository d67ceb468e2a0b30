#pragma once

#include "platform/SoundOutputs.h"

// The audio outputs Qt Multimedia sees. Without a running sound server there
// are none, and Qt does not notice a server started later: the count is only
// right once the server runs before the program first asks.
class QtSoundOutputs final : public SoundOutputs
{
public:
    QtSoundOutputs() = default;
    Q_DISABLE_COPY_MOVE(QtSoundOutputs)

    int count() const override;
};
