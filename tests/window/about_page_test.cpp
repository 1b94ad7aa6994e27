// The About page of the shipped DLL in a real property sheet: where its version line lands
// on the logo, and that painting gives back every GDI object it takes.
#include "dll_host.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <winternl.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

namespace
{

constexpr int kLogoControl = 2003;

// Live GDI objects of this process. GetGuiResources answers on Windows; Wine 8 answers 0
// there, and the count is then read from the GDI handle table the PEB points to, whose
// entries Wine lays out as Windows does: the object type in the byte at offset 14, zero for
// a free entry, and the owner's process ID in the low word at offset 8 (0 in Wine's table).
int GdiObjectCount()
{
    const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0)
        return static_cast<int>(counted);
    struct Entry
    {
        uint64_t kernelObject;
        uint32_t owner;
        uint16_t unique;
        uint8_t type;
        uint8_t flags;
        uint64_t userObject;
    };
    static_assert(sizeof(Entry) == 24, "64-bit GDI handle table entry");
    PROCESS_BASIC_INFORMATION process{};
    if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &process, sizeof(process),
                                    nullptr) != 0)
        return -1;
    const auto* peb = reinterpret_cast<const unsigned char*>(process.PebBaseAddress);
    const auto* table = *reinterpret_cast<const Entry* const*>(peb + 0xF8); // GdiSharedHandleTable
    if (!table)
        return -1;
    const uint32_t self = ::GetCurrentProcessId() & 0xFFFF;
    int count = 0;
    for (int i = 0; i < 0x10000; ++i)
        if (table[i].type != 0 && ((table[i].owner & 0xFFFF) == self || table[i].owner == 0))
            ++count;
    return count;
}

class AboutPage : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host_.ok());
        testwindow::PropertiesHost::Offer offer = host_.AddPages();
        ASSERT_EQ(2u, offer.kept.size());
        sheet_ = std::make_unique<testwindow::ModelessSheet>(offer.kept);
        page_ = sheet_->page(1);
        ASSERT_NE(nullptr, page_);
    }

    void Paint() const
    {
        ::InvalidateRect(page_, nullptr, TRUE);
        ::UpdateWindow(page_);
    }

    // The logo control's top-left corner in the page's client area.
    POINT LogoOrigin() const
    {
        RECT area{};
        ::GetWindowRect(::GetDlgItem(page_, kLogoControl), &area);
        POINT origin{area.left, area.top};
        ::ScreenToClient(page_, &origin);
        return origin;
    }

    testwindow::PropertiesHost host_{
        std::string("uiext2 window ") + testing::UnitTest::GetInstance()->current_test_info()->name(), L"2.10.005"};
    std::unique_ptr<testwindow::ModelessSheet> sheet_;
    HWND page_ = nullptr;
};

TEST_F(AboutPage, DrawsTheVersionInBlackFromPixel120x164OfTheLogo)
{
    // The bare logo, as the DLL carries it, top-down.
    HBITMAP logo = ::LoadBitmapA(testhost::Dll().module, MAKEINTRESOURCEA(2002));
    ASSERT_NE(nullptr, logo);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), 483, -310, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<RGBQUAD> bare(483 * 310);
    HDC screen = ::GetDC(nullptr);
    ASSERT_EQ(310, ::GetDIBits(screen, logo, 0, 310, bare.data(), &format, DIB_RGB_COLORS));
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(logo);

    Paint();
    RECT area{};
    ::GetWindowRect(::GetDlgItem(page_, kLogoControl), &area);
    const POINT origin = LogoOrigin();
    HDC dc = ::GetDC(page_);
    RECT ink{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    int darkest = 255;
    // Inside the control's sunken border, which it draws over the logo's edges.
    const int border = ::GetSystemMetrics(SM_CXEDGE);
    for (int y = border; y < std::min<int>(310, area.bottom - area.top - border); ++y)
        for (int x = border; x < std::min<int>(483, area.right - area.left - border); ++x)
        {
            const COLORREF shown = ::GetPixel(dc, origin.x + x, origin.y + y);
            const RGBQUAD& was = bare[y * 483 + x];
            if (shown == RGB(was.rgbRed, was.rgbGreen, was.rgbBlue))
                continue;
            ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y), std::max<LONG>(ink.right, x),
                   std::max<LONG>(ink.bottom, y)};
            darkest = std::min<int>(darkest, std::max({GetRValue(shown), GetGValue(shown), GetBValue(shown)}));
        }
    const int pointHeight = ::MulDiv(8, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    ::ReleaseDC(page_, dc);
    ASSERT_NE(LONG_MAX, ink.left) << "the logo is bare";
    EXPECT_EQ(0, darkest) << "the text is black";
    // The text's cell starts at 120, 164; "V" touches the cell's left edge, smoothed, and the
    // cell's internal leading lies above the ink.
    EXPECT_GE(ink.left, 120);
    EXPECT_LE(ink.left, 121);
    EXPECT_GE(ink.top, 164);
    EXPECT_LE(ink.top, 168);
    // One line of 8-point text, as wide as "Version 2.10.005".
    EXPECT_LE(ink.bottom - ink.top + 1, pointHeight + 2);
    EXPECT_GT(ink.right - ink.left, 50);
    EXPECT_LT(ink.right - ink.left, 120);
}

TEST_F(AboutPage, AThousandPaintsLeaveTheGdiObjectCountFlat)
{
    Paint(); // the first paint may create the process's shared objects
    const int before = GdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 1000; ++i)
        Paint();
    EXPECT_EQ(before, GdiObjectCount());
}

} // namespace
