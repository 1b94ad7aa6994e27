// The About page of the shipped DLL in a real property sheet: where its version line lands
// on the logo, and that painting gives back every GDI object it takes.
#include "dll_host.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <winternl.h>

#include <algorithm>
#include <cstdint>
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

TEST_F(AboutPage, DrawsTheVersionInBlackFromPixel120x164OfTheLogo)
{
    // The bare logo as the DLL carries it, top-down, to tell the text from the artwork.
    HBITMAP logo = ::LoadBitmapA(testhost::Dll().module, MAKEINTRESOURCEA(2002));
    BITMAPINFO format{{sizeof(BITMAPINFOHEADER), 483, -310, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<RGBQUAD> bare(483 * 310);
    HDC dc = ::GetDC(page_);
    ASSERT_EQ(310, ::GetDIBits(dc, logo, 0, 310, bare.data(), &format, DIB_RGB_COLORS));
    ::DeleteObject(logo);

    Paint();
    RECT control{};
    ::GetWindowRect(::GetDlgItem(page_, 2003), &control);
    ::MapWindowPoints(nullptr, page_, reinterpret_cast<POINT*>(&control), 2);
    RECT ink{483, 310, 0, 0};
    int darkest = 255;
    // Inside the control's sunken border, which it draws over the logo's edges.
    const int border = ::GetSystemMetrics(SM_CXEDGE);
    for (int y = border; y < std::min<int>(310, control.bottom - control.top - border); ++y)
        for (int x = border; x < std::min<int>(483, control.right - control.left - border); ++x)
        {
            const COLORREF shown = ::GetPixel(dc, control.left + x, control.top + y);
            const RGBQUAD& was = bare[y * 483 + x];
            if (shown == RGB(was.rgbRed, was.rgbGreen, was.rgbBlue))
                continue;
            ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y), std::max<LONG>(ink.right, x),
                   std::max<LONG>(ink.bottom, y)};
            darkest = std::min<int>(darkest, std::max({GetRValue(shown), GetGValue(shown), GetBValue(shown)}));
        }
    const int points8 = ::MulDiv(8, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    ::ReleaseDC(page_, dc);
    EXPECT_EQ(0, darkest) << "the text is black";
    // The text cell starts at 120, 164: "V" touches its left edge (smoothed), the cell's
    // internal leading lies above the ink. One line of 8-point text.
    EXPECT_TRUE(ink.left >= 120 && ink.left <= 121) << ink.left;
    EXPECT_TRUE(ink.top >= 164 && ink.top <= 168) << ink.top;
    EXPECT_LE(ink.bottom - ink.top + 1, points8 + 2);
}

TEST_F(AboutPage, AThousandPaintsLeaveTheGdiObjectCountFlat)
{
    Paint(); // the first paint may create objects the process keeps
    const int before = GdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 1000; ++i)
        Paint();
    EXPECT_EQ(before, GdiObjectCount());
}

} // namespace
