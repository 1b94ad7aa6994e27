// The Settings page: compression levels, unit, login and account ID of the bound device.
#pragma once

#include <windows.h>

namespace uiext2
{

// Reads its object's device's settings file when the page opens and writes all its keys,
// the password in its stored form, when the sheet is applied; cancelling writes nothing.
INT_PTR CALLBACK SettingsPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace uiext2
