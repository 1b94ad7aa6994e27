// Identity, lifetime and dispatch of the extension object.
#include "com/ui_extension.h"

#include "device/wia_binding.h"
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
