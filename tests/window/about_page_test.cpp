// The About page of the shipped DLL in a real property sheet: how its logo and version line
// follow the display scale, and that painting gives back every GDI object it takes.
#include "dll_host.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{

// Live GDI objects of this process. GetGuiResources answers on Windows; Wine 8 answers 0,
// and the count is then read from the GDI handle table the PEB points to, laid out as on
// Windows: 24-byte entries, the owner's process ID in the low word at offset 8 (0 in Wine's
// per-process table), the type at offset 14, 0 for a free entry.
int GdiObjectCount()
{
    if (const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<int>(counted);
    PROCESS_BASIC_INFORMATION process{};
    if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &process, sizeof(process),
                                    nullptr) != 0)
        return -1;
    const auto* table = *reinterpret_cast<const unsigned char* const*>(
        reinterpret_cast<const unsigned char*>(process.PebBaseAddress) + 0xF8); // GdiSharedHandleTable
    const uint16_t self = static_cast<uint16_t>(::GetCurrentProcessId());
    int count = 0;
    for (int i = 0; table && i < 0x10000; ++i)
    {
        const unsigned char* entry = table + 24 * i;
        const uint16_t owner = *reinterpret_cast<const uint16_t*>(entry + 8);
        count += entry[14] != 0 && (owner == self || owner == 0);
    }
    return count;
}

// Width in pixels of "Version 2.10.005" in 8-point text at 96 DPI.
constexpr int kVersionInkWidth = 80;

class AboutPage : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host_.ok());
        sheet_ = std::make_unique<testwindow::ModelessSheet>(host_.AddPages().kept);
        page_ = sheet_->page(1);
        ASSERT_NE(nullptr, page_);
    }

    void Paint() const
    {
        ::InvalidateRect(page_, nullptr, TRUE);
        ::UpdateWindow(page_);
    }

    testwindow::PropertiesHost host_{"uiext2 window about", L"2.10.005"};
    std::unique_ptr<testwindow::ModelessSheet> sheet_;
    HWND page_ = nullptr;
};

// At the display scale CTest asks for (UIEXT2_WINE_DPI, 96 when unset): the logo, scaled from
// its 96-DPI pixels, reaches the frame's far corner, and the version line keeps its place
// (120, 164 of the logo at 96 DPI), its 8-point size and its black, in the light band under
// the logo's accent line.
TEST_F(AboutPage, LogoAndVersionLineScaleWithTheWindowDpi)
{
    HDC dc = ::GetDC(page_);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    const char* wanted = std::getenv("UIEXT2_WINE_DPI");
    ASSERT_EQ(wanted ? std::atoi(wanted) : 96, dpi) << "the display scale this run is for";
    const auto scaled = [dpi](int at96) { return ::MulDiv(at96, dpi, 96); };

    // The bare logo as the DLL carries it, top-down.
    HBITMAP logo = ::LoadBitmapA(testhost::Dll().module, MAKEINTRESOURCEA(2002));
    BITMAPINFO format{{sizeof(BITMAPINFOHEADER), 483, -310, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<RGBQUAD> bare(483 * 310);
    ASSERT_EQ(310, ::GetDIBits(dc, logo, 0, 310, bare.data(), &format, DIB_RGB_COLORS));
    ::DeleteObject(logo);

    Paint();
    RECT control{};
    ::GetWindowRect(::GetDlgItem(page_, 2003), &control);
    ::MapWindowPoints(nullptr, page_, reinterpret_cast<POINT*>(&control), 2);
    const int width = control.right - control.left, height = control.bottom - control.top;
    const auto shown = [&](int x, int y) { return ::GetPixel(dc, control.left + x, control.top + y); };
    // Inside the control's sunken border, which it draws over the logo's edges.
    const int border = scaled(3);

    const int cornerX = width - border, cornerY = height - border;
    const RGBQUAD& there = bare[(cornerY * 96 / dpi) * 483 + cornerX * 96 / dpi];
    const COLORREF corner = shown(cornerX, cornerY);
    EXPECT_NEAR(there.rgbRed, GetRValue(corner), 12) << "the frame's far corner shows the logo";
    EXPECT_NEAR(there.rgbGreen, GetGValue(corner), 12);
    EXPECT_NEAR(there.rgbBlue, GetBValue(corner), 12);

    RECT ink{width, height, 0, 0};
    int darkest = 255;
    for (int y = scaled(153); y < std::min(scaled(310), height - border); ++y)
        for (int x = border; x < std::min(scaled(483), width - border); ++x)
        {
            const COLORREF pixel = shown(x, y);
            const int value = std::max({GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)});
            if (value >= 128) // the band is light, above 200 in every channel
                continue;
            ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y), std::max<LONG>(ink.right, x),
                   std::max<LONG>(ink.bottom, y)};
            darkest = std::min(darkest, value);
        }
    ::ReleaseDC(page_, dc);
    EXPECT_EQ(0, darkest) << "the text is black";
    // The text cell starts at 120, 164: "V" touches its left edge, the cell's internal leading
    // lies above the ink. One line of 8-point text, as wide as 8 points make it.
    const int cell = ::MulDiv(8, dpi, 72);
    EXPECT_TRUE(ink.left >= scaled(120) && ink.left <= scaled(121)) << ink.left;
    EXPECT_TRUE(ink.top >= scaled(164) && ink.top <= scaled(168)) << ink.top;
    EXPECT_LE(ink.bottom - ink.top + 1, cell + 2);
    EXPECT_NEAR(scaled(kVersionInkWidth), ink.right - ink.left + 1, scaled(kVersionInkWidth) / 10);
}

TEST_F(AboutPage, AHundredPaintsLeaveTheGdiObjectCountFlat)
{
    Paint(); // the first paint may create objects the process keeps
    const int before = GdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 100; ++i)
        Paint();
    EXPECT_EQ(before, GdiObjectCount());
}

} // namespace
