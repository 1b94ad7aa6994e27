// The scanner's identity as its WIA root item reports it, converted to ANSI.
#include "device/device_identity.h"

#include "support/hresult.h"

#include <wrl/client.h>

namespace uiext2
{

namespace
{

// The values of the one ReadMultiple call, in the order asked. The full item name is asked
// with the others, as drivers expect of this extension, and not used.
enum ValueIndex
{
    ModelName,
    FirmwareVersion,
    DeviceName,
    FullItemName,
    ValueCount
};
constexpr PROPID kPropertyIds[ValueCount] = {wia2::ModelNameProp, wia2::DpaFirmwareVersion, wia2::DeviceNameProp,
                                             wia2::IpaFullItemName};

// What ReadMultiple hands back, freed whatever path is taken.
class PropertyValues
{
public:
    PropertyValues() noexcept
    {
        for (PROPVARIANT& value : values_)
            ::PropVariantInit(&value);
    }
    ~PropertyValues() { ::FreePropVariantArray(ValueCount, values_); }
    PropertyValues(const PropertyValues&) = delete;
    PropertyValues& operator=(const PropertyValues&) = delete;

    PROPVARIANT* data() noexcept { return values_; }
    const PROPVARIANT& operator[](ValueIndex index) const noexcept { return values_[index]; }

private:
    PROPVARIANT values_[ValueCount];
};

// Converts a string value with the ANSI code page into `buffer`, whole or not at all: the
// buffer is empty on failure, never a truncated text.
template <int Size> HRESULT ToAnsi(const PROPVARIANT& value, char (&buffer)[Size]) noexcept
{
    buffer[0] = '\0';
    if (value.vt != VT_BSTR)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    const wchar_t* text = value.bstrVal ? value.bstrVal : L""; // a null BSTR is the empty text
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, Size, nullptr, nullptr) == 0)
    {
        const DWORD error = ::GetLastError();
        buffer[0] = '\0'; // a failed conversion may leave part of the text behind
        return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_INSUFFICIENT_BUFFER);
    }
    return S_OK;
}

} // namespace

HRESULT ReadDeviceIdentity(IWiaItem2* root, DeviceIdentity& identity) noexcept
{
    Microsoft::WRL::ComPtr<IWiaPropertyStorage> storage;
    RETURN_IF_FAILED(root->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(storage.GetAddressOf())));

    PROPSPEC specs[ValueCount] = {};
    for (int i = 0; i < ValueCount; ++i)
    {
        specs[i].ulKind = PRSPEC_PROPID;
        specs[i].propid = kPropertyIds[i];
    }
    PropertyValues values;
    RETURN_IF_FAILED(storage->ReadMultiple(ValueCount, specs, values.data()));

    DeviceIdentity read = {};
    // The device name becomes part of a path: without all of it nothing can be done.
    RETURN_IF_FAILED(ToAnsi(values[DeviceName], read.deviceName));
    // The other two only describe the device; their absence is not a reason to fail.
    (void)ToAnsi(values[ModelName], read.modelName);
    (void)ToAnsi(values[FirmwareVersion], read.firmwareVersion);
    identity = read;
    return S_OK;
}

} // namespace uiext2
