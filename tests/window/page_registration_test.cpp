// AddPages of the shipped DLL against hosts that keep both pages, one or none; the pages'
// references on the extension object; the language of the pages it offers.
#include "dll_host.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

namespace
{

std::string DeviceName()
{
    return std::string("uiext2 window ") + testing::UnitTest::GetInstance()->current_test_info()->name();
}

TEST(PageRegistration, EachKeptPageHoldsOneReferenceUntilItIsDestroyed)
{
    struct Row
    {
        std::vector<bool> accept;
        HRESULT result;
    };
    const Row rows[] = {{{true, true}, S_OK}, {{true, false}, S_OK}, {{false, true}, S_OK}, {{false, false}, E_FAIL}};
    testwindow::PropertiesHost host(DeviceName());
    ASSERT_TRUE(host.ok());
    const ULONG base = testwindow::RefCount(host.extension());
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "kept: settings " << row.accept[0] << ", about " << row.accept[1]);
        testwindow::PropertiesHost::Offer offer = host.AddPages(row.accept);
        EXPECT_EQ(row.result, offer.result);
        EXPECT_EQ(2, offer.offered);
        ASSERT_EQ(size_t(row.accept[0] + row.accept[1]), offer.kept.size());
        EXPECT_EQ(base + offer.kept.size(), testwindow::RefCount(host.extension())) << "a refused page gives back";
        for (HPROPSHEETPAGE page : offer.kept)
            EXPECT_TRUE(::DestroyPropertySheetPage(page));
        EXPECT_EQ(base, testwindow::RefCount(host.extension()));
    }
    EXPECT_EQ(E_NOTIMPL, host.extension()->ReplacePage(0, nullptr, 0));
}

TEST(PageRegistration, TheLibraryCanUnloadOnceTheSheetHasClosed)
{
    {
        testwindow::PropertiesHost host(DeviceName());
        ASSERT_TRUE(host.ok());
        testwindow::ModelessSheet sheet(host.AddPages().kept);
        ASSERT_NE(nullptr, sheet.page(1));
        host.ReleaseExtension(); // the shell lets go of the object once the pages are added
        EXPECT_EQ(S_FALSE, testhost::Dll().DllCanUnloadNow()) << "the open pages hold the object";
    }
    EXPECT_EQ(S_OK, testhost::Dll().DllCanUnloadNow());
}

// The pages in the system locale CTest sets (English unless it says otherwise): tab titles
// and texts of that language's templates, intact after the system's ANSI code page, and every
// control inside its page.
TEST(PageRegistration, PagesShowTheLanguageOfTheSystemLocale)
{
    struct Row
    {
        const char* suffix;
        const wchar_t *settings, *about, *colorGroup;
    };
    const Row rows[] = {
        {"enu", L"Settings", L"About", L"Image Compression(Color)"},
        {"chs", L"设置值", L"关于", L"图象压缩(全色)"},
        {"cht", L"設定值", L"關於", L"影像壓縮(全彩)"},
        {"fra", L"Paramétres", L"À propos de", L"Compression d'image(Couleur)"},
        {"deu", L"Einstellungen", L"Info über", L"Bildkomprimierung(Farbig)"},
        {"ita", L"Impostazioni", L"Informazioni su", L"Compressione immagine(Tutti i colori)"},
        {"esp", L"Configuración", L"Acerca de", L"Compresión de Imagen(A Todo Color)"},
        {"jpn", L"設定", L"バージョン情報", L"データ圧縮(カラー)"},
    };
    const char* language = std::getenv("UIEXT2_PAGE_LANGUAGE");
    const Row* row = std::find_if(std::begin(rows), std::end(rows),
                                  [&](const Row& r) { return std::string(r.suffix) == (language ? language : "enu"); });
    ASSERT_NE(std::end(rows), row);
    testwindow::PropertiesHost host(DeviceName());
    ASSERT_TRUE(host.ok());
    testwindow::ModelessSheet sheet(host.AddPages().kept);
    const wchar_t* titles[] = {row->settings, row->about};
    for (int index = 0; index < 2; ++index)
    {
        wchar_t title[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        item.cchTextMax = 64;
        ::SendMessageW(PropSheet_GetTabControl(sheet.sheet()), TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::wstring(titles[index]), title);
        HWND page = sheet.page(index);
        RECT client{};
        ::GetClientRect(page, &client);
        int controls = 0;
        for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT), ++controls)
        {
            RECT area{};
            ::GetWindowRect(child, &area);
            ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&area), 2);
            EXPECT_TRUE(area.left >= 0 && area.top >= 0 && area.right <= client.right && area.bottom <= client.bottom)
                << "control " << ::GetDlgCtrlID(child) << " reaches out of page " << index;
        }
        // The Settings page's 26 controls and the 5 hidden labels that name its inputs.
        EXPECT_EQ(index == 0 ? 26 + 5 : 1, controls);
    }
    wchar_t shown[64] = {};
    ::GetDlgItemTextW(sheet.page(0), 1069, shown, 64);
    EXPECT_EQ(std::wstring(row->colorGroup), shown);
}

} // namespace
