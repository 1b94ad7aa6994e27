// The About page: the logo with the bound device's version line drawn on it.
#pragma once

#include <windows.h>

namespace uiext2
{

// Paints the logo over the page's logo control on every WM_PAINT, scaled by the window's DPI,
// with its object's version line in black at a quarter of the logo's width and 53 % of its
// height.
INT_PTR CALLBACK AboutPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace uiext2
