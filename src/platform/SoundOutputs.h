#pragma once

#include <QtGlobal>

// How many sound outputs the machine has; a run refuses to start without one.
class SoundOutputs
{
public:
    SoundOutputs() = default;
    virtual ~SoundOutputs() = default;
    Q_DISABLE_COPY_MOVE(SoundOutputs)

    virtual int count() const = 0;
};
