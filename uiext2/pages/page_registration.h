// The Settings and About pages offered to the shell's property-sheet host.
#pragma once

#include <windows.h>
#include <prsht.h>
#include <unknwn.h>

namespace uiext2
{

struct BoundDevice;

// What a page is given: the object that offers it, on which the page holds a reference, and
// that object's device. It lives in the object, so the reference keeps it alive too.
struct PageOwner
{
    IUnknown* object;
    const BoundDevice* device;
};

// Offers the Settings page and then the About page, both from the templates of the language
// LanguageCode() gives at this call, to `addPage` with the host's `lParam`. Each page holds a
// reference on `owner->object` for as long as comctl32 keeps the page; a page the host
// refuses is destroyed at once. S_OK when the host accepted at least one page, E_FAIL
// otherwise.
HRESULT OfferPages(const PageOwner* owner, LPFNADDPROPSHEETPAGE addPage, LPARAM lParam) noexcept;

// The device of the page whose WM_INITDIALOG carries `initParam`, kept with the page's window
// for its later messages; null before WM_INITDIALOG.
const BoundDevice* AttachPageDevice(HWND page, LPARAM initParam) noexcept;
const BoundDevice* PageDevice(HWND page) noexcept;

} // namespace uiext2
