#include "platform/WasapiDevices.h"

#include <objbase.h>
#include <windows.h>

namespace WasapiDevices {

Apartment::Apartment()
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // RPC_E_CHANGED_MODE: a thread of windows, initialised for them already.
    m_joined = SUCCEEDED(result);
}

Apartment::~Apartment()
{
    if (m_joined)
        CoUninitialize();
}

namespace {

ComPtr<IMMDeviceEnumerator> enumerator(HRESULT &result)
{
    ComPtr<IMMDeviceEnumerator> devices;
    result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                              IID_PPV_ARGS(devices.GetAddressOf()));
    return devices;
}

} // namespace

ComPtr<IMMDevice> defaultOutput(QString &why)
{
    HRESULT result = S_OK;
    ComPtr<IMMDevice> device;
    if (const ComPtr<IMMDeviceEnumerator> devices = enumerator(result))
        result = devices->GetDefaultAudioEndpoint(eRender, eConsole, device.GetAddressOf());
    if (FAILED(result)) {
        why = result == HRESULT(E_NOTFOUND) ? QStringLiteral("there is no sound output")
                                            : QStringLiteral("no sound output: ") + text(result);
        device.Reset();
    }
    return device;
}

int activeOutputs()
{
    const Apartment com;
    HRESULT result = S_OK;
    const ComPtr<IMMDeviceEnumerator> devices = enumerator(result);
    ComPtr<IMMDeviceCollection> outputs;
    UINT count = 0;
    if (!devices ||
        FAILED(devices->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, outputs.GetAddressOf())) ||
        FAILED(outputs->GetCount(&count)))
        return 0;
    return int(count);
}

QString text(long result)
{
    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(result), 0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    const QString number = QStringLiteral("0x%1").arg(quint32(result), 8, 16, QLatin1Char('0'));
    if (length == 0 || !message)
        return QStringLiteral("error ") + number;
    const QString described = QString::fromWCharArray(message, int(length)).trimmed();
    LocalFree(message);
    return described + QStringLiteral(" (") + number + QLatin1Char(')');
}

} // namespace WasapiDevices
