// The Settings and About pages offered to the shell's property-sheet host.
#pragma once

#include <windows.h>
#include <prsht.h>
#include <unknwn.h>

namespace uiext2
{

// Offers the Settings page and then the About page, both from the templates of the language
// LanguageCode() gives at this call, to `addPage` with the host's `lParam`. Each page holds a
// reference on `owner` for as long as comctl32 keeps the page; a page the host refuses is
// destroyed at once. S_OK when the host accepted at least one page, E_FAIL otherwise.
HRESULT OfferPages(IUnknown* owner, LPFNADDPROPSHEETPAGE addPage, LPARAM lParam) noexcept;

} // namespace uiext2
