// The window-test harness itself: a page from an in-memory template in a modeless sheet,
// its lifetime callbacks, and input sent as messages, with no display.
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

struct PageLog
{
    int addRefs = 0;
    int releases = 0;
    int changes = 0;
    int applies = 0;
    std::string appliedText;
};

constexpr int kEditId = 100;

// DLGTEMPLATE with one edit control, DWORD-aligned items as the dialog manager requires.
class PageTemplate
{
public:
    PageTemplate()
    {
        auto* dlg = reinterpret_cast<DLGTEMPLATE*>(buffer_);
        dlg->style = WS_CHILD | DS_CONTROL | WS_CAPTION;
        dlg->cdit = 1;
        dlg->cx = 200;
        dlg->cy = 100;
        WORD* p = reinterpret_cast<WORD*>(dlg + 1);
        *p++ = 0;                // no menu
        *p++ = 0;                // default class
        p = Copy(p, L"Harness"); // caption: the tab title
        p = reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
        auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(p);
        item->style = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;
        item->x = 10;
        item->y = 10;
        item->cx = 100;
        item->cy = 12;
        item->id = kEditId;
        p = reinterpret_cast<WORD*>(item + 1);
        *p++ = 0xFFFF;
        *p++ = 0x0081; // edit
        *p++ = 0;      // no text
        *p++ = 0;      // no creation data
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(buffer_); }

private:
    static WORD* Copy(WORD* p, const wchar_t* text)
    {
        const size_t n = std::wcslen(text) + 1;
        std::memcpy(p, text, n * sizeof(wchar_t));
        return p + n;
    }
    alignas(4) unsigned char buffer_[256] = {};
};

INT_PTR CALLBACK PageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        ::SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kEditId && HIWORD(wParam) == EN_CHANGE)
        {
            reinterpret_cast<PageLog*>(::GetWindowLongPtrA(dialog, DWLP_USER))->changes++;
            PropSheet_Changed(::GetParent(dialog), dialog);
        }
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY)
        {
            auto* log = reinterpret_cast<PageLog*>(::GetWindowLongPtrA(dialog, DWLP_USER));
            char text[64] = {};
            ::GetDlgItemTextA(dialog, kEditId, text, sizeof(text));
            log->applies++;
            log->appliedText = text;
            ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEA* page)
{
    auto* log = reinterpret_cast<PageLog*>(page->lParam);
    if (message == PSPCB_ADDREF)
        log->addRefs++;
    else if (message == PSPCB_RELEASE)
        log->releases++;
    return 1;
}

TEST(SheetHarness, PageLivesAndAppliesWithoutADisplay)
{
    PageTemplate dialogTemplate;
    PageLog log;
    PROPSHEETPAGEA page{};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_DLGINDIRECT | PSP_USECALLBACK;
    page.pResource = dialogTemplate.get();
    page.pfnDlgProc = PageProc;
    page.pfnCallback = PageCallback;
    page.lParam = reinterpret_cast<LPARAM>(&log);

    HPROPSHEETPAGE handle = ::CreatePropertySheetPageA(&page);
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(1, log.addRefs);
    {
        testwindow::ModelessSheet sheet({handle});
        ASSERT_NE(nullptr, sheet.sheet()) << "the null display driver must give real windows";
        HWND dialog = sheet.page(0);
        ASSERT_NE(nullptr, dialog);

        ::SetDlgItemTextA(dialog, kEditId, "typed");
        EXPECT_EQ(1, log.changes);
        sheet.Apply();
        EXPECT_EQ(1, log.applies);
        EXPECT_EQ("typed", log.appliedText);
    }
    EXPECT_EQ(1, log.releases) << "the sheet drops its page when destroyed";
}

} // namespace
