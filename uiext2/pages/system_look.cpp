// The high-contrast setting and the repaint after a change of theme or system colours.
#include "pages/system_look.h"

namespace uiext2
{

bool HighContrastOn() noexcept
{
    HIGHCONTRASTA setting{};
    setting.cbSize = sizeof(setting);
    return ::SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0) &&
           (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void FollowSystemLook(HWND page, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_SETTINGCHANGE && wParam != SPI_SETHIGHCONTRAST)
        return;
    if (message != WM_THEMECHANGED && message != WM_SYSCOLORCHANGE && message != WM_SETTINGCHANGE)
        return;
    if (message == WM_SYSCOLORCHANGE)
        for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            ::SendMessageA(child, message, wParam, lParam);
    ::RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

} // namespace uiext2
