// The extension object: WIA 2.0 UI extension, shell extension and property-sheet
// extension in one, with one reference count.
#pragma once

#include "com/module.h"
#include "device/wia_binding.h"
#include "pages/page_registration.h"
#include "platform/wia2.h"

#include <shlobj.h>
#include <wrl/client.h>

namespace uiext2
{

class UiExtension final : public ComObject<IWiaUIExtension2, IShellExtInit, IShellPropSheetExt>
{
public:
    UiExtension() noexcept = default;

    // IUnknown: one count for all three interfaces (see ComObject).
    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override;

    // IWiaUIExtension2
    IFACEMETHODIMP DeviceDialog(DEVICEDIALOGDATA2* data) noexcept override;
    IFACEMETHODIMP GetDeviceIcon(BSTR deviceId, HICON* icon, ULONG size) noexcept override;

    // IShellExtInit
    IFACEMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* dataObject, HKEY progIdKey) noexcept override;

    // IShellPropSheetExt
    IFACEMETHODIMP AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM lParam) noexcept override;
    IFACEMETHODIMP ReplacePage(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replaceWith, LPARAM lParam) noexcept override;

    // The bound root item, or null before a binding.
    IWiaItem2* RootItem() const noexcept { return root_.Get(); }
    // The bound device's files and version line; empty before a binding.
    const BoundDevice& Device() const noexcept { return device_; }

private:
    ~UiExtension() override = default; // only the final Release destroys

    Microsoft::WRL::ComPtr<IWiaItem2> root_;
    BoundDevice device_;
    // What each page is handed: this object, on which it holds a reference, and its device.
    const PageOwner pageOwner_{static_cast<IWiaUIExtension2*>(this), &device_};
};

} // namespace uiext2
