// Binding the extension object to the scanner's WIA root item (IShellExtInit::Initialize).
#pragma once

#include "device/bound_device.h"
#include "platform/wia2.h"

#include <objidl.h>
#include <wrl/client.h>

namespace uiext2
{

// Binds `root` to the scanner that `dataObject` stands for: the data object itself when it
// is the WIA item, else the one device ID in its "WIAItemNames" opened through the WIA 2.0
// device manager. Then checks for a root item, reads the scanner's identity, fills `device`
// (the settings-file paths and the version line) and prepares the device's settings folder.
//
// `root` changes only when a road delivers an item, which then stays stored even if a
// later check fails; the item it replaces is released. Results: E_INVALIDARG for no data
// object; E_FAIL for no usable item name, or an item that is not a root; the device
// manager's or CreateDevice's error; ReadDeviceIdentity's errors;
// HRESULT_FROM_WIN32(ERROR_INVALID_NAME) for a device name that is not one safe folder
// name; HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) when its settings paths cannot be
// composed whole (too long, or no common documents folder). In these last three cases
// `device` does not change and no folder, file or registry value is touched.
HRESULT BindDevice(IDataObject* dataObject, Microsoft::WRL::ComPtr<IWiaItem2>& root, BoundDevice& device) noexcept;

} // namespace uiext2
