#include "platform/WasapiSoundOutputs.h"

#include "platform/WasapiDevices.h"

int WasapiSoundOutputs::count() const
{
    return WasapiDevices::activeOutputs();
}
