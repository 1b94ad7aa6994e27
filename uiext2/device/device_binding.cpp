// Binding the extension object to the scanner's WIA root item: the two roads to the item,
// the root check, the identity, and the settings-store calls in their order.
#include "device/device_binding.h"

#include "device/device_id.h"
#include "device/device_identity.h"
#include "device/item_names.h"
#include "device/settings_store.h"
#include "support/hresult.h"
#include "support/unique.h"

namespace uiext2
{

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
    // or whose paths cannot be composed whole, fails the binding before the object's record
    // changes or any folder or file is touched.
    RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), !IsSafeDeviceName(identity.deviceName));
    RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), !DeviceFolders::Fits(identity.deviceName));
    FormatVersionText(identity.firmwareVersion, device.versionText);
    // The folders are opened once and held for the object's pages; a folder that is a link,
    // or not where it belongs, leaves the pages without settings, which Apply then says.
    device.folders = DeviceFolders();
    device.folders.OpenDevice(identity.deviceName, true);
    ProvisionDeviceFolder(device.folders, identity.modelName);
    MigrateScannerAddress(device.folders);
    return result;
}

} // namespace uiext2
