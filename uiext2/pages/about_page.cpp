// The About page's dialog procedure: every paint loads a fresh copy of the logo, scales it to
// the page window's DPI, writes the version line onto it and copies it over the logo control,
// releasing every GDI object again. Under a high-contrast theme the version line stands alone
// in the theme's colours. The logo control holds the version line as its text, for screen
// readers; it is owner-drawn and draws none of it.
#include "pages/about_page.h"

#include "com/module.h"
#include "device/wia_binding.h"
#include "pages/page_registration.h"
#include "pages/system_look.h"
#include "res/resource.h"
#include "support/unique.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace uiext2
{

namespace
{

// The scale the logo's pixels and the bitmap face of the version line are drawn for.
constexpr int kDesignDpi = USER_DEFAULT_SCREEN_DPI;

// Sent to child windows from Windows 10 1703; the headers show it only from that version on.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

// The record with its padded-border width, as Windows Vista and later fill it.
static_assert(sizeof(NONCLIENTMETRICSA) == 344, "NONCLIENTMETRICSA with iPaddedBorderWidth");

// The DPI of the monitor the page is on, where user32 has GetDpiForWindow (Windows 10 1607 and
// later); before that the whole desktop has one DPI, the one the page's device context reports.
int WindowDpi(HWND window, HDC dc) noexcept
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? static_cast<int>(dpi) : ::GetDeviceCaps(dc, LOGPIXELSY);
}

// The version line in `color`, in an 8-point face that keeps the rest of the menu font's
// fields, at a quarter of the logo's width and 53 % of its height from `origin`, scaled from
// `kDesignDpi` to `dpi`. "Ms Sans Serif" is a bitmap face drawn for 96 DPI: at any other scale
// a TrueType face takes its place, as the bitmap face has only a few sizes and stops growing.
void DrawVersionText(HDC memory, POINT origin, const BITMAP& logoSize, const char* text, int dpi,
                     COLORREF color) noexcept
{
    ::SetTextColor(memory, color);
    ::SetBkMode(memory, TRANSPARENT);

    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTA font{};
    font.lfCharSet = DEFAULT_CHARSET; // when the metrics cannot be read
    if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        font = metrics.lfMenuFont;
    static_assert(sizeof("Ms Sans Serif") <= LF_FACESIZE, "the face name fits");
    if (dpi == kDesignDpi)
        std::memcpy(font.lfFaceName, "Ms Sans Serif", sizeof("Ms Sans Serif"));
    else
    {
        std::memcpy(font.lfFaceName, "Tahoma", sizeof("Tahoma"));
        font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    }
    // The window's DPI, not the memory context's: with a DPI per monitor, a memory context
    // reports the system's.
    font.lfHeight = -::MulDiv(8, dpi, 72);
    font.lfWeight = FW_NORMAL;

    UniqueGdiObject created(::CreateFontIndirectA(&font));
    SelectedObject selected(memory, created.get());
    const int x = ::MulDiv(static_cast<int>(logoSize.bmWidth * 0.25), dpi, kDesignDpi);
    const int y = ::MulDiv(static_cast<int>(logoSize.bmHeight * 0.53), dpi, kDesignDpi);
    ::TextOutA(memory, origin.x + x, origin.y + y, text, static_cast<int>(std::strlen(text)));
}

// A copy of the logo stretched to width x height, smoothed (HALFTONE) rather than with pixels
// doubled or dropped; null when the copy cannot be made.
UniqueGdiObject ScaledLogo(HDC screen, HGDIOBJ logo, const BITMAP& logoSize, int width, int height) noexcept
{
    UniqueGdiObject scaled(::CreateCompatibleBitmap(screen, width, height));
    UniqueMemoryDc from(::CreateCompatibleDC(screen));
    UniqueMemoryDc to(::CreateCompatibleDC(screen));
    if (!scaled || !from || !to)
        return UniqueGdiObject();
    SelectedObject source(from.get(), logo);
    SelectedObject target(to.get(), scaled.get());
    ::SetStretchBltMode(to.get(), HALFTONE);
    ::SetBrushOrgEx(to.get(), 0, 0, nullptr); // after the mode, as HALFTONE requires
    if (!::StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, logoSize.bmWidth, logoSize.bmHeight, SRCCOPY))
        return UniqueGdiObject();
    return scaled;
}

// The logo's top-left corner on the control's, the logo scaled by the window's DPI and cut off
// at the control's right and bottom edges. At 96 DPI the logo's own pixels are copied.
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

    const BoundDevice* device = PageDevice(dialog); // the page's own object's device
    const char* text = device ? device->versionText : "";
    int dpi = WindowDpi(dialog, paint.dc());
    if (HighContrastOn())
    {
        // The user's colours instead of the logo's: its picture is left out, and the line
        // keeps its place inside the control.
        const RECT control{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
        ::FillRect(paint.dc(), &control, ::GetSysColorBrush(COLOR_WINDOW));
        DrawVersionText(paint.dc(), corners[0], logoSize, text, dpi, ::GetSysColor(COLOR_WINDOWTEXT));
        return;
    }
    int logoWidth = logoSize.bmWidth;
    int logoHeight = logoSize.bmHeight;
    if (dpi != kDesignDpi)
    {
        const int width = ::MulDiv(logoWidth, dpi, kDesignDpi);
        const int height = ::MulDiv(logoHeight, dpi, kDesignDpi);
        // Left unscaled when the copy cannot be made: smaller, but whole.
        if (UniqueGdiObject scaled = ScaledLogo(paint.dc(), logo.get(), logoSize, width, height))
        {
            logo = std::move(scaled);
            logoWidth = width;
            logoHeight = height;
        }
        else
            dpi = kDesignDpi;
    }

    // Declared in this order, released in the reverse: the logo is deselected before the
    // context is deleted, and the context deleted before the logo.
    UniqueMemoryDc memory(::CreateCompatibleDC(nullptr));
    SelectedObject selected(memory.get(), logo.get());
    DrawVersionText(memory.get(), POINT{0, 0}, logoSize, text, dpi, RGB(0, 0, 0));
    // A control larger than the logo keeps the page's background beyond it.
    const int width = std::min<LONG>(corners[1].x - corners[0].x, logoWidth);
    const int height = std::min<LONG>(corners[1].y - corners[0].y, logoHeight);
    ::BitBlt(paint.dc(), corners[0].x, corners[0].y, width, height, memory.get(), 0, 0, SRCCOPY);
}

} // namespace

INT_PTR CALLBACK AboutPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_PAINT:
        Paint(dialog);
        return TRUE;
    // The sheet moved to a monitor of another scale: the logo is painted afresh at the new one,
    // after the default handling has resized the page.
    case WM_DPICHANGED:
    case kDpiChangedAfterParent:
        ::InvalidateRect(dialog, nullptr, TRUE);
        return FALSE;
    case WM_INITDIALOG:
        // The version line as text, where a screen reader reads a static control's name.
        if (const BoundDevice* device = AttachPageDevice(dialog, lParam))
            ::SetDlgItemTextA(dialog, IDC_LOGO, device->versionText);
        return TRUE;
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        FollowSystemLook(dialog, message, wParam, lParam);
        return FALSE;
    case WM_NOTIFY:
    case WM_CLOSE:
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace uiext2
