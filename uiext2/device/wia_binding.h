// The binding of an extension object to the scanner's WIA root item: the item names a
// shell data object carries, the scanner's identity as its root item reports it, what the
// object keeps of the device for its pages, and the binding itself.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "device/device_store.h"
#include "device/version_text.h"
#include "platform/wia2.h"

#include <wrl/client.h>

#include <cstddef>
#include <memory>

namespace uiext2
{

// ---- The item names of the "WIAItemNames" clipboard format

// A copy of the list: each name ended by a NUL, the whole list ended by an empty string.
struct ItemNameList
{
    std::unique_ptr<wchar_t[]> block;
    std::size_t count = 0; // the non-empty names before the empty one

    const wchar_t* First() const noexcept { return block.get(); }
};

// Reads and copies the list. No list and a count of 0 when the data object has none, when
// its list does not end with an empty string inside its memory, or when the copy fails.
ItemNameList ReadItemNames(IDataObject* dataObject) noexcept;

// ---- The scanner's identity, converted to ANSI

struct DeviceIdentity
{
    char modelName[64];       // Scanner1/Model; empty when the driver gives none that fits
    char firmwareVersion[32]; // shown as "Version %s"; empty when none that fits
    char deviceName[68];      // names the settings folder; always read and converted whole
};

// Reads the model name, firmware version and device name in one ReadMultiple call.
// Fails, leaving `identity` unchanged, when the item has no property storage (the query's
// error), when ReadMultiple fails (its error), when the device name is missing or not a
// string (HRESULT_FROM_WIN32(ERROR_INVALID_DATA)), or when it does not fit its 68 bytes
// (HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)). A model name or firmware version that
// is missing, not a string or too long is left empty: no text is ever cut short.
HRESULT ReadDeviceIdentity(IWiaItem2* root, DeviceIdentity& identity) noexcept;

// ---- What an extension object knows of its scanner

// Held by each extension object, never module-wide: Explorer runs each scanner's property
// sheet on a thread of its own in one process, so two objects bound to two scanners live
// side by side, and each page must read, write and draw its own object's device. A page
// holds a reference on the object, which keeps this record alive for as long as the page.
struct BoundDevice
{
    DeviceFolders folders; // the device's folders, held from the binding on
    char versionText[VersionTextSize]{};
};

// ---- The binding (IShellExtInit::Initialize)

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
