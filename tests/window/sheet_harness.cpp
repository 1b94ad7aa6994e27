// Modeless property sheets for window tests.
#include "sheet_harness.h"

namespace testwindow
{

ModelessSheet::ModelessSheet(std::vector<HPROPSHEETPAGE> pages, const char* caption)
{
    // The shell hosts property sheets DPI-aware, and so does this harness: a process that is
    // not sees 96 DPI everywhere, its windows scaled as bitmaps (on Windows, and on Wine from
    // version 9 on). Before the process's first window, and harmless when called again.
    ::SetProcessDPIAware();
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&init);

    PROPSHEETHEADERA header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_MODELESS; // with an Apply button, as the shell's sheets have
    header.pszCaption = caption;
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    sheet_ = reinterpret_cast<HWND>(::PropertySheetA(&header));
    PumpMessages();
}

ModelessSheet::~ModelessSheet()
{
    if (sheet_)
        ::DestroyWindow(sheet_);
    PumpMessages();
}

HWND ModelessSheet::page(int index) const
{
    PropSheet_SetCurSel(sheet_, nullptr, index);
    return PropSheet_IndexToHwnd(sheet_, index);
}

bool ModelessSheet::ApplyEnabled() const
{
    constexpr int kApplyButton = 0x3021; // the sheet's Apply button, as comctl32 numbers it
    return ::IsWindowEnabled(::GetDlgItem(sheet_, kApplyButton)) != FALSE;
}

void ModelessSheet::Apply()
{
    PropSheet_Apply(sheet_);
    PumpMessages();
}

void ModelessSheet::PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        if (!sheet_ || !PropSheet_IsDialogMessage(sheet_, &msg))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

} // namespace testwindow
