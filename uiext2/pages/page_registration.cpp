// Page records for CreatePropertySheetPageA, and the page callback that ties each page's
// reference on the extension object to the page's own lifetime.
#include "pages/page_registration.h"

#include "pages/activation_context.h"
#include "com/module.h"
#include "trace/trace_events.h"
#include "pages/about_page.h"
#include "pages/language.h"
#include "pages/settings_page.h"

#include <cstddef>

namespace uiext2
{

namespace
{

// The whole record of comctl32 6, up to and including the header bitmap: MinGW-w64's prsht.h
// stops one field short of it, at the activation context.
struct PageRecord
{
    PROPSHEETPAGEA page;
    HBITMAP headerBitmap;
};
static_assert(sizeof(PageRecord) == 104 && offsetof(PageRecord, headerBitmap) == 96, "the 64-bit layout");

// CreatePropertySheetPage sends PSPCB_ADDREF, and the sheet or DestroyPropertySheetPage sends
// PSPCB_RELEASE: the page takes its reference and gives it back here, so no path releases
// what it never took, and the library can unload once the sheet has closed.
UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEA* page)
{
    IUnknown* owner = reinterpret_cast<const PageOwner*>(page->lParam)->object;
    if (message == PSPCB_ADDREF)
        owner->AddRef();
    else if (message == PSPCB_RELEASE)
        owner->Release();
    return 1; // PSPCB_CREATE: let the sheet create the page's window
}

// True when the host kept the page; a refused page is destroyed, which releases its reference.
bool OfferPage(const PageOwner* owner, int templateId, DLGPROC procedure, LPFNADDPROPSHEETPAGE addPage, LPARAM lParam)
{
    PageRecord record{};
    PROPSHEETPAGEA& page = record.page;
    page.dwSize = sizeof(record);
    page.dwFlags = PSP_USECALLBACK; // the tab title is the template's caption
    page.hInstance = ModuleInstance();
    page.pszTemplate = MAKEINTRESOURCEA(templateId);
    page.pfnDlgProc = procedure;
    page.lParam = reinterpret_cast<LPARAM>(owner);
    page.pfnCallback = PageCallback;
    // The page's controls come from the library's own context, the common controls of
    // version 6, in a host without a manifest too. Windows honours hActCtx; Wine 8 ignores it
    // and takes the host's context.
    if (HANDLE context = ModuleActivationContext())
    {
        page.dwFlags |= PSP_USEFUSIONCONTEXT;
        page.hActCtx = context;
    }
    HPROPSHEETPAGE handle = ::CreatePropertySheetPageA(&page);
    if (!handle)
        return false;
    if (addPage(handle, lParam))
        return true;
    ::DestroyPropertySheetPage(handle);
    return false;
}

} // namespace

HRESULT OfferPages(const PageOwner* owner, LPFNADDPROPSHEETPAGE addPage, LPARAM lParam) noexcept
{
    if (!owner || !owner->object || !owner->device || !addPage)
        return E_INVALIDARG;
    const LanguageRow& row = LanguageTable(LanguageCode()); // one language for both pages
    const bool settings = OfferPage(owner, row.settingsTemplate, SettingsPageProc, addPage, lParam);
    const bool about = OfferPage(owner, row.aboutTemplate, AboutPageProc, addPage, lParam);
    trace::SheetPages(settings, about, row.resourceLanguage);
    return settings || about ? S_OK : E_FAIL;
}

const BoundDevice* AttachPageDevice(HWND page, LPARAM initParam) noexcept
{
    const auto* record = reinterpret_cast<const PROPSHEETPAGEA*>(initParam);
    const BoundDevice* device = record ? reinterpret_cast<const PageOwner*>(record->lParam)->device : nullptr;
    ::SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(device));
    return device;
}

const BoundDevice* PageDevice(HWND page) noexcept
{
    return reinterpret_cast<const BoundDevice*>(::GetWindowLongPtrA(page, DWLP_USER));
}

} // namespace uiext2
