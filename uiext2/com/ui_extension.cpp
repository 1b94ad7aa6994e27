// Identity, lifetime and dispatch of the extension object.
#include "com/ui_extension.h"

#include "com/module.h"
#include "device/device_binding.h"
#include "pages/page_registration.h"
#include "scan/scan_run.h"

#include <shlwapi.h>

namespace uiext2
{

IFACEMETHODIMP UiExtension::QueryInterface(REFIID iid, void** object) noexcept
{
    // IUnknown resolves to the first entry, the primary interface. The earlier WIA UI
    // extension interface is deliberately not answered.
    static const QITAB table[] = {
        {&IID_IWiaUIExtension2, static_cast<int>(OFFSETOFCLASS(IWiaUIExtension2, UiExtension))},
        {&IID_IShellPropSheetExt, static_cast<int>(OFFSETOFCLASS(IShellPropSheetExt, UiExtension))},
        {&IID_IShellExtInit, static_cast<int>(OFFSETOFCLASS(IShellExtInit, UiExtension))},
        {nullptr, 0},
    };
    return ::QISearch(this, table, iid, object);
}

IFACEMETHODIMP_(ULONG) UiExtension::AddRef() noexcept
{
    // A count leaving 0 makes the object live: it holds the module for as long.
    if (refCount_ == 0)
        ModuleAddRef();
    return static_cast<ULONG>(::InterlockedIncrement(&refCount_));
}

IFACEMETHODIMP_(ULONG) UiExtension::Release() noexcept
{
    const LONG count = ::InterlockedDecrement(&refCount_);
    if (count != 0)
        return static_cast<ULONG>(count);
    delete this; // releases the bound root item
    ModuleRelease();
    return 0;
}

IFACEMETHODIMP UiExtension::DeviceDialog(DEVICEDIALOGDATA2* data) noexcept
{
    return RunScanDialog(data);
}

IFACEMETHODIMP UiExtension::GetDeviceIcon(BSTR, HICON*, ULONG) noexcept
{
    return E_NOTIMPL;
}

IFACEMETHODIMP UiExtension::Initialize(PCIDLIST_ABSOLUTE, IDataObject* dataObject, HKEY) noexcept
{
    return BindDevice(dataObject, root_, device_);
}

IFACEMETHODIMP UiExtension::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM lParam) noexcept
{
    return OfferPages(&pageOwner_, addPage, lParam);
}

IFACEMETHODIMP UiExtension::ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) noexcept
{
    return E_NOTIMPL;
}

} // namespace uiext2
