// The system's look on the pages: the activation context each page is made in, the common
// controls a version-6 host gets, and the About page under a high-contrast theme.
#include "dll_host.h"
#include "import_patch.h"
#include "properties_host.h"
#include "sheet_harness.h"
#include "support/activation_scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{

// What WM_INITDIALOG hands each page: the page's copy of its record.
std::map<HWND, PROPSHEETPAGEA> g_records;

LRESULT CALLBACK RecordInitDialog(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && call->lParam)
        g_records[call->hwnd] = *reinterpret_cast<const PROPSHEETPAGEA*>(call->lParam);
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The identities of the assemblies an activation context binds, as
// "name,processorArchitecture=...,version=..." with the version the system resolved.
std::vector<std::wstring> Assemblies(HANDLE context)
{
    // The record is followed by the paths it points to, in the same buffer.
    alignas(8) unsigned char record[4096] = {};
    const auto* detail = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(record);
    std::vector<std::wstring> names;
    if (!::QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, record, sizeof(record), nullptr))
        return names;
    for (DWORD index = 1; index <= detail->ulAssemblyCount; ++index)
    {
        alignas(8) unsigned char buffer[4096] = {};
        const auto* assembly = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer);
        if (::QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, buffer, sizeof(buffer),
                           nullptr) &&
            assembly->lpAssemblyEncodedAssemblyIdentity)
            names.emplace_back(assembly->lpAssemblyEncodedAssemblyIdentity,
                               assembly->ulEncodedAssemblyIdentityLength / sizeof(wchar_t));
    }
    return names;
}

bool HostHasOwnManifest()
{
    return ::FindResourceA(nullptr, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST) != nullptr;
}

// Both pages come with PSP_USEFUSIONCONTEXT and a context that binds the common controls of
// version 6. Windows creates the pages' controls in it whatever the host; Wine 8 ignores
// hActCtx and uses the host's context, so only a host with its own version-6 manifest is sure
// to show version-6 controls (a button answers BCM_GETIDEALSIZE only from version 6 on).
TEST(VisualStyle, EachPageIsMadeInAContextOfCommonControls6)
{
    testwindow::PropertiesHost host("uiext2 window style");
    ASSERT_TRUE(host.ok());
    g_records.clear();
    HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROC, RecordInitDialog, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    testwindow::ModelessSheet sheet(host.AddPages().kept);
    HWND pages[] = {sheet.page(0), sheet.page(1)};
    ::UnhookWindowsHookEx(hook);
    for (HWND page : pages)
    {
        ASSERT_EQ(1u, g_records.count(page));
        const PROPSHEETPAGEA& record = g_records[page];
        SCOPED_TRACE(testing::Message() << "template " << reinterpret_cast<UINT_PTR>(record.pszTemplate));
        EXPECT_TRUE(record.dwFlags & PSP_USEFUSIONCONTEXT);
        ASSERT_NE(nullptr, record.hActCtx);
        bool version6 = false;
        for (const std::wstring& name : Assemblies(record.hActCtx))
            version6 |= name.find(L"Microsoft.Windows.Common-Controls") == 0 &&
                        name.find(L"version=\"6.") != std::wstring::npos;
        EXPECT_TRUE(version6) << "the context binds the common controls of version 6 (6.0.x.y as installed)";
    }
    SIZE ideal{};
    const bool themed = ::SendDlgItemMessageA(pages[0], 1083, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    if (HostHasOwnManifest())
    {
        EXPECT_TRUE(themed) << "a version-6 host gets version-6 controls";
    }
    else
        std::printf("a host without a manifest got the %s controls\n", themed ? "version-6" : "old");
}

HANDLE CurrentContext()
{
    HANDLE current = nullptr;
    ::GetCurrentActCtx(&current);
    if (current)
        ::ReleaseActCtx(current); // the test compares it only; the thread keeps it
    return current;
}

// A window made inside the scope of the library's context is a version-6 control in any host;
// the thread's context is the host's again after the scope, and a null context changes nothing.
TEST(VisualStyle, ActivationScopeLendsItsContextToTheWindowsMadeInIt)
{
    char dll[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameA(testhost::Dll().module, dll, MAX_PATH));
    ACTCTXA request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = dll;
    request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    HANDLE context = ::CreateActCtxA(&request);
    ASSERT_NE(INVALID_HANDLE_VALUE, context);
    const HANDLE host = CurrentContext();
    {
        uiext2::ActivationScope scope(context);
        EXPECT_TRUE(scope.active());
        EXPECT_EQ(context, CurrentContext());
        HWND button = ::CreateWindowA("Button", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        SIZE ideal{};
        EXPECT_TRUE(::SendMessageA(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
        ::DestroyWindow(button);
    }
    EXPECT_EQ(host, CurrentContext());
    {
        uiext2::ActivationScope none(nullptr);
        EXPECT_FALSE(none.active());
        EXPECT_EQ(host, CurrentContext());
    }
    ::ReleaseActCtx(context);
}

// The library's SystemParametersInfoA, redirected: Wine 8 keeps no high-contrast setting
// (SPI_SETHIGHCONTRAST fails, SPI_GETHIGHCONTRAST says off), so this answer stands for the
// user's.
bool g_highContrast = false;
BOOL WINAPI ReportHighContrast(UINT action, UINT param, PVOID data, UINT flags)
{
    if (action != SPI_GETHIGHCONTRAST || !data)
        return ::SystemParametersInfoA(action, param, data, flags);
    static_cast<HIGHCONTRASTA*>(data)->dwFlags = HCF_AVAILABLE | (g_highContrast ? HCF_HIGHCONTRASTON : 0);
    static_cast<HIGHCONTRASTA*>(data)->lpszDefaultScheme = nullptr;
    return TRUE;
}

// Two system colours changed for the life of the object, as a high-contrast theme sets them.
class SystemColors
{
public:
    SystemColors(COLORREF window, COLORREF text) : before_{::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)}
    {
        const COLORREF wanted[] = {window, text};
        ::SetSysColors(2, kElements, wanted);
    }
    ~SystemColors() { ::SetSysColors(2, kElements, before_); }
    SystemColors(const SystemColors&) = delete;
    SystemColors& operator=(const SystemColors&) = delete;

private:
    static constexpr int kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    COLORREF before_[2];
};

// With high contrast on, the logo control shows the version line alone, in the window text
// colour on the window colour, where it stands on the logo; the page repaints by itself when
// the setting or the system colours change, and shows the logo again once it is off.
TEST(VisualStyle, AboutPageTakesTheHighContrastColours)
{
    uiext2_test::ImportPatch patch(testhost::Dll().module, "user32.dll", "SystemParametersInfoA",
                                   reinterpret_cast<void*>(&ReportHighContrast));
    ASSERT_TRUE(patch.ok());
    const COLORREF window = RGB(0, 0, 0), text = RGB(255, 255, 0); // a black high-contrast theme
    SystemColors colors(window, text);
    testwindow::PropertiesHost host("uiext2 window contrast", L"2.10.005");
    ASSERT_TRUE(host.ok());
    testwindow::ModelessSheet sheet(host.AddPages().kept);
    HWND page = sheet.page(1);
    ASSERT_NE(nullptr, page);
    RECT area{};
    ::GetWindowRect(::GetDlgItem(page, 2003), &area);
    ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&area), 2);
    const int inset = 3; // inside the control's sunken border

    struct Row
    {
        bool highContrast;
        UINT message; // what tells the page
        WPARAM wParam;
    };
    const Row rows[] = {
        {true, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST}, {false, WM_SYSCOLORCHANGE, 0}, {true, WM_THEMECHANGED, 0}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "high contrast " << row.highContrast << ", message " << row.message);
        g_highContrast = row.highContrast;
        ::SendMessageA(page, row.message, row.wParam, 0);
        ::UpdateWindow(page);
        HDC dc = ::GetDC(page);
        int background = 0, ink = 0, other = 0;
        RECT inked{area.right, area.bottom, area.left, area.top};
        for (int y = area.top + inset; y < area.bottom - inset; ++y)
            for (int x = area.left + inset; x < area.right - inset; ++x)
            {
                const COLORREF pixel = ::GetPixel(dc, x, y);
                background += pixel == window;
                other += pixel != window && pixel != text;
                if (pixel == text)
                {
                    ++ink;
                    inked = {std::min<LONG>(inked.left, x), std::min<LONG>(inked.top, y),
                             std::max<LONG>(inked.right, x), std::max<LONG>(inked.bottom, y)};
                }
            }
        ::ReleaseDC(page, dc);
        if (row.highContrast)
        {
            EXPECT_EQ(0, other) << "nothing of the logo";
            EXPECT_GT(ink, 40) << "the version line";
            EXPECT_NEAR(area.left + 120, inked.left, 2);
            EXPECT_NEAR(area.top + 166, inked.top, 2);
        }
        else
        {
            EXPECT_GT(other, background) << "the logo is back";
        }
    }
}

} // namespace
