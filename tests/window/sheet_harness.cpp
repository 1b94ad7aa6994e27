// Modeless property sheets for window tests.
#include "sheet_harness.h"

#include <algorithm>

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

bool ModelessSheet::Apply()
{
    const bool applied = PropSheet_Apply(sheet_) != FALSE;
    PumpMessages();
    return applied;
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

MessageBoxCatcher::MessageBoxCatcher() : watcher_([this] { Watch(); }) {}

MessageBoxCatcher::~MessageBoxCatcher()
{
    stop_ = true;
    watcher_.join();
}

std::vector<std::wstring> MessageBoxCatcher::texts() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return texts_;
}

std::vector<HWND> MessageBoxCatcher::owners() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return owners_;
}

void MessageBoxCatcher::Watch()
{
    std::vector<HWND> seen;
    while (!stop_)
    {
        std::vector<HWND> boxes;
        ::EnumThreadWindows(
            thread_,
            [](HWND window, LPARAM all) -> BOOL
            {
                wchar_t kind[16] = {};
                if (::GetWindow(window, GW_OWNER) && ::IsWindowVisible(window) && ::GetClassNameW(window, kind, 16) &&
                    std::wstring(kind) == L"#32770")
                    reinterpret_cast<std::vector<HWND>*>(all)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&boxes));
        for (HWND box : boxes)
        {
            if (std::find(seen.begin(), seen.end(), box) != seen.end())
                continue;
            seen.push_back(box);
            std::wstring text;
            ::EnumChildWindows(
                box,
                [](HWND child, LPARAM all) -> BOOL
                {
                    wchar_t line[1024] = {};
                    ::GetWindowTextW(child, line, 1024);
                    *reinterpret_cast<std::wstring*>(all) += std::wstring(line) + L"|";
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&text));
            {
                std::lock_guard<std::mutex> hold(lock_);
                texts_.push_back(text);
                owners_.push_back(::GetWindow(box, GW_OWNER));
            }
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        ::Sleep(20);
    }
}

} // namespace testwindow
