// The About page's dialog procedure: every paint loads a fresh copy of the logo, writes the
// version line onto it and copies it over the logo control, releasing every GDI object again.
#include "pages/about_page.h"

#include "com/module.h"
#include "device/bound_device.h"
#include "pages/page_registration.h"
#include "res/resource.h"
#include "support/unique.h"

#include <algorithm>
#include <cstring>

namespace uiext2
{

namespace
{

// The record with its padded-border width, as Windows Vista and later fill it.
static_assert(sizeof(NONCLIENTMETRICSA) == 344, "NONCLIENTMETRICSA with iPaddedBorderWidth");

// The version line in black, in an 8-point "Ms Sans Serif" that keeps the rest of the menu
// font's fields, at a quarter of the logo's width and 53 % of its height.
void DrawVersionText(HDC memory, const BITMAP& logoSize, const char* text) noexcept
{
    ::SetTextColor(memory, RGB(0, 0, 0));
    ::SetBkMode(memory, TRANSPARENT);

    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTA font{};
    font.lfCharSet = DEFAULT_CHARSET; // when the metrics cannot be read
    if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        font = metrics.lfMenuFont;
    static_assert(sizeof("Ms Sans Serif") <= LF_FACESIZE, "the face name fits");
    std::memcpy(font.lfFaceName, "Ms Sans Serif", sizeof("Ms Sans Serif"));
    font.lfHeight = -::MulDiv(8, ::GetDeviceCaps(memory, LOGPIXELSY), 72);
    font.lfWeight = FW_NORMAL;

    UniqueGdiObject created(::CreateFontIndirectA(&font));
    SelectedObject selected(memory, created.get());
    const int x = static_cast<int>(logoSize.bmWidth * 0.25);
    const int y = static_cast<int>(logoSize.bmHeight * 0.53);
    ::TextOutA(memory, x, y, text, static_cast<int>(std::strlen(text)));
}

// The logo's top-left corner on the control's, cut off at the control's right and bottom edges.
void Paint(HWND dialog) noexcept
{
    PaintScope paint(dialog);
    UniqueGdiObject logo(::LoadBitmapA(ModuleInstance(), MAKEINTRESOURCEA(IDB_LOGO)));
    if (!logo)
        return;
    BITMAP logoSize{};
    ::GetObjectA(logo.get(), sizeof(logoSize), &logoSize);

    RECT area{};
    ::GetWindowRect(::GetDlgItem(dialog, IDC_LOGO), &area);
    POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
    ::ScreenToClient(dialog, &corners[0]);
    ::ScreenToClient(dialog, &corners[1]);

    // Declared in this order, released in the reverse: the logo is deselected before the
    // context is deleted, and the context deleted before the logo.
    UniqueMemoryDc memory(::CreateCompatibleDC(nullptr));
    SelectedObject selected(memory.get(), logo.get());
    const BoundDevice* device = PageDevice(dialog); // the page's own object's device
    DrawVersionText(memory.get(), logoSize, device ? device->versionText : "");
    // A control larger than the logo (a high-DPI screen) keeps the page's background beyond it.
    const int width = std::min<LONG>(corners[1].x - corners[0].x, logoSize.bmWidth);
    const int height = std::min<LONG>(corners[1].y - corners[0].y, logoSize.bmHeight);
    ::BitBlt(paint.dc(), corners[0].x, corners[0].y, width, height, memory.get(), 0, 0, SRCCOPY);
}

} // namespace

INT_PTR CALLBACK AboutPageProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    switch (message)
    {
    case WM_PAINT:
        Paint(dialog);
        return TRUE;
    case WM_INITDIALOG:
        AttachPageDevice(dialog, lParam);
        return TRUE;
    case WM_NOTIFY:
    case WM_CLOSE:
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace uiext2
