#pragma once

#include <QString>

#include <mmdeviceapi.h>
#include <wrl/client.h>

// What the WASAPI sound device and the count of outputs share: COM on the
// calling thread, the system's render endpoints, and HRESULTs as text.
namespace WasapiDevices {

using Microsoft::WRL::ComPtr;

// COM for the calling thread's lifetime of this object: the multithreaded
// apartment, or whatever the thread has already (a window thread's own).
class Apartment final
{
public:
    Apartment();
    ~Apartment();
    Q_DISABLE_COPY_MOVE(Apartment)

private:
    bool m_joined = false;
};

// The default output, asked anew each time, so that one plugged in, chosen
// or removed since is followed. Empty with the reason in why otherwise.
ComPtr<IMMDevice> defaultOutput(QString &why);
// The outputs that can play now; 0 when the system cannot tell.
int activeOutputs();
// The system's text for an error, with its number.
QString text(long result);

} // namespace WasapiDevices
