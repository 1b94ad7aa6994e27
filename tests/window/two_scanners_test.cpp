// Two scanners' property sheets open at once in one process, as Explorer opens them: each
// page reads, writes and draws the device of its own extension object, whichever object was
// initialised last.
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr int kColorLevel = 1052, kLogo = 2003;

// The logo control of an About page as painted now. Only this sheet is shown while it is
// read, so that no other sheet can cover any of it.
std::vector<uint32_t> PaintedLogo(testwindow::ModelessSheet& shown,
                                  std::initializer_list<testwindow::ModelessSheet*> others)
{
    for (testwindow::ModelessSheet* other : others)
        ::ShowWindow(other->sheet(), SW_HIDE);
    HWND page = shown.page(1);
    ::InvalidateRect(page, nullptr, TRUE);
    ::UpdateWindow(page);
    RECT logo{};
    ::GetWindowRect(::GetDlgItem(page, kLogo), &logo);
    ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&logo), 2);
    const int width = logo.right - logo.left, height = logo.bottom - logo.top;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    BITMAPINFO format{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    HDC dc = ::GetDC(page);
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, dc, logo.left, logo.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::GetDIBits(memory, bitmap, 0, height, pixels.data(), &format, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(page, dc);
    for (testwindow::ModelessSheet* other : others)
        ::ShowWindow(other->sheet(), SW_SHOWNA);
    return pixels;
}

TEST(TwoScanners, EachSheetKeepsToItsOwnDevice)
{
    testwindow::PropertiesHost first("uiext2 window first scanner", L"1.11");
    ASSERT_TRUE(first.ok());
    testwindow::ModelessSheet firstSheet(first.AddPages().kept);
    // The second object is initialised while the first one's pages are open.
    testwindow::PropertiesHost second("uiext2 window second scanner", L"2.22");
    ASSERT_TRUE(second.ok());
    testwindow::ModelessSheet secondSheet(second.AddPages().kept);

    const std::vector<uint32_t> firstLogo = PaintedLogo(firstSheet, {&secondSheet});
    const std::vector<uint32_t> secondLogo = PaintedLogo(secondSheet, {&firstSheet});
    ASSERT_FALSE(firstLogo.empty());
    EXPECT_TRUE(firstLogo != secondLogo) << "both pages draw the same version";
    {
        // The first page draws 1.11 as the sheet of a third object with that version does.
        testwindow::PropertiesHost third("uiext2 window third scanner", L"1.11");
        ASSERT_TRUE(third.ok());
        testwindow::ModelessSheet thirdSheet(third.AddPages().kept);
        EXPECT_TRUE(PaintedLogo(thirdSheet, {&firstSheet, &secondSheet}) == firstLogo)
            << "the first page drew another version";
        EXPECT_TRUE(PaintedLogo(secondSheet, {&firstSheet, &thirdSheet}) == secondLogo)
            << "a later binding changed what an open page draws";
    }

    ::SetDlgItemTextA(firstSheet.page(0), kColorLevel, "2");
    ::SetDlgItemTextA(secondSheet.page(0), kColorLevel, "4");
    firstSheet.Apply();
    secondSheet.Apply();
    for (const auto& [host, level] : {std::pair{&first, "2"}, std::pair{&second, "4"}})
    {
        std::string stored;
        EXPECT_TRUE(uiext2_test::ReadIni(host->settingsFile(), "Contents", "Compression", stored));
        EXPECT_EQ(level, stored) << host->settingsFile();
    }
}

} // namespace
