// Binding the extension object to the scanner's WIA root item: the two roads to the item,
// the root check, the identity, and the settings-store calls in their order.
#include "device/wia_binding.h"

#include "device/device_id.h"
#include "device/settings_store.h"
#include "support/hresult.h"
#include "support/unique.h"

#include <cstring>
#include <new>
#include <utility>

namespace uiext2
{

ItemNameList ReadItemNames(IDataObject* dataObject) noexcept
{
    ItemNameList names;
    const UINT format = ::RegisterClipboardFormatA("WIAItemNames");
    if (format == 0)
        return names;

    FORMATETC request = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(dataObject->GetData(&request, &medium)))
        return names;
    UniqueStgMedium releaseMedium(&medium); // declared before the lock: unlocked first
    if (medium.tymed != TYMED_HGLOBAL)
        return names;
    GlobalLockScope lock(medium.hGlobal);
    const auto* text = static_cast<const wchar_t*>(lock.data());
    if (!text)
        return names;

    // The list comes from another component: walk it within its memory block only, and
    // take it only when its closing empty string lies inside.
    const std::size_t limit = lock.size() / sizeof(wchar_t);
    std::size_t at = 0;
    std::size_t count = 0;
    while (at < limit && text[at] != L'\0')
    {
        while (at < limit && text[at] != L'\0')
            ++at;
        ++at; // past the name's terminator
        ++count;
    }
    if (at >= limit)
        return names;

    const std::size_t length = at + 1; // the closing empty string included
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length]);
    if (!copy)
        return names;
    std::memcpy(copy.get(), text, length * sizeof(wchar_t));
    names.block = std::move(copy);
    names.count = count;
    return names;
}

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

namespace
{

using Microsoft::WRL::ComPtr;

// The road through the device ID: the single name of "WIAItemNames", opened by the WIA 2.0
// device manager. The manager is a local server; the list copy, the BSTR and the manager
// are released on every path.
HRESULT OpenByDeviceId(IDataObject* dataObject, ComPtr<IWiaItem2>& item) noexcept
{
    const ItemNameList names = ReadItemNames(dataObject);
    WideSpan deviceId;
    if (names.count != 1 || !DeviceIdFromItemName(names.First(), deviceId))
        return E_FAIL;

    ComPtr<IWiaDevMgr2> manager;
    RETURN_IF_FAILED(::CoCreateInstance(CLSID_WiaDevMgr2, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr2,
                                        reinterpret_cast<void**>(manager.GetAddressOf())));
    UniqueBstr id(::SysAllocStringLen(deviceId.begin, static_cast<UINT>(deviceId.length)));
    RETURN_HR_IF(E_OUTOFMEMORY, !id);
    return manager->CreateDevice(0, id.get(), item.ReleaseAndGetAddressOf());
}

} // namespace

HRESULT BindDevice(IDataObject* dataObject, ComPtr<IWiaItem2>& root, BoundDevice& device) noexcept
{
    if (!dataObject)
        return E_INVALIDARG;

    // The item stays local until a road delivers one, so a call that fails before that
    // leaves an earlier binding of the object as it was.
    ComPtr<IWiaItem2> item;
    HRESULT result = S_OK; // or the success code of CreateDevice
    if (FAILED(dataObject->QueryInterface(IID_IWiaItem2, reinterpret_cast<void**>(item.GetAddressOf()))))
    {
        result = OpenByDeviceId(dataObject, item);
        if (FAILED(result))
            return result;
    }
    RETURN_HR_IF(E_FAIL, !item); // a success without an item is a broken manager
    root = item;                 // releases the item of an earlier binding

    // The call's own result is not looked at: a type it could not read stays 0.
    LONG type = 0;
    (void)item->GetItemType(&type);
    RETURN_HR_IF(E_FAIL, (type & wia2::ItemTypeRoot) == 0);

    DeviceIdentity identity;
    RETURN_IF_FAILED(ReadDeviceIdentity(item.Get(), identity));

    // The device name becomes a folder name. One that is not a single safe folder name,
    // or whose paths do not fit, fails the binding before the object's record changes or
    // any folder or file is touched.
    DeviceFolders folders;
    const DWORD named = folders.NameDevice(identity.deviceName);
    RETURN_HR_IF(HRESULT_FROM_WIN32(named), named != ERROR_SUCCESS);
    FormatVersionText(identity.firmwareVersion, device.versionText);
    // The folders are opened once and held for the object's pages; a folder that is a link,
    // or not where it belongs, leaves the pages without settings, which Apply then says.
    device.folders = std::move(folders);
    device.folders.OpenDevice(true);
    ProvisionDeviceFolder(device.folders, identity.modelName);
    MigrateScannerAddress(device.folders);
    return result;
}

} // namespace uiext2
