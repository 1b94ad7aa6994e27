// What the pages follow of the system's look: the high-contrast setting, and the messages
// after which a page repaints in a new theme or new system colours.
#pragma once

#include <windows.h>

namespace uiext2
{

// True while the user has a high-contrast theme on (HCF_HIGHCONTRASTON); false when the
// setting cannot be read.
bool HighContrastOn() noexcept;

// For WM_THEMECHANGED, WM_SYSCOLORCHANGE and WM_SETTINGCHANGE with SPI_SETHIGHCONTRAST:
// passes WM_SYSCOLORCHANGE on to the page's common controls, which get it from no one else,
// and repaints the page with all its controls. Any other message is left alone.
void FollowSystemLook(HWND page, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

} // namespace uiext2
