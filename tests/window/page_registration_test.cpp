// AddPages of the shipped DLL against hosts that keep both pages, one or none, the pages'
// references on the extension object, and the sixteen dialog templates it offers them from.
#include "dll_host.h"
#include "page_templates.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include "pages/language_code.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        size_t kept;
    };
    const Row rows[] = {
        {{true, true}, S_OK, 2},
        {{true, false}, S_OK, 1},
        {{false, true}, S_OK, 1},
        {{false, false}, E_FAIL, 0},
    };
    testwindow::PropertiesHost host(DeviceName());
    ASSERT_TRUE(host.ok());
    const ULONG base = testwindow::RefCount(host.extension());
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "settings kept " << row.accept[0] << ", about kept " << row.accept[1]);
        testwindow::PropertiesHost::Offer offer = host.AddPages(row.accept);
        EXPECT_EQ(row.result, offer.result);
        EXPECT_EQ(2, offer.offered) << "both pages are offered, whatever the host said to the first";
        ASSERT_EQ(row.kept, offer.kept.size());
        EXPECT_EQ(base + row.kept, testwindow::RefCount(host.extension())) << "refused pages give theirs back";
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
        testwindow::PropertiesHost::Offer offer = host.AddPages();
        ASSERT_EQ(2u, offer.kept.size());
        testwindow::ModelessSheet sheet(offer.kept);
        ASSERT_NE(nullptr, sheet.page(1));
        host.ReleaseExtension(); // the shell lets go of the object once the pages are added
        EXPECT_EQ(S_FALSE, testhost::Dll().DllCanUnloadNow()) << "the open pages hold the object";
    }
    EXPECT_EQ(S_OK, testhost::Dll().DllCanUnloadNow());
}

// Every template exists in its resource language with its caption, and every control of a
// Settings page lies inside the page.
TEST(PageTemplates, EachLanguageHasBothPagesWithItsCaptions)
{
    struct Row
    {
        int32_t languageCode;
        const wchar_t* settings;
        const wchar_t* about;
    };
    const Row rows[] = {
        {0x0409, L"Settings", L"About"},
        {192, L"设置值", L"关于"},
        {193, L"設定值", L"關於"},
        {0x040C, L"Paramétres", L"À propos de"},
        {0x0407, L"Einstellungen", L"Info über"},
        {0x0410, L"Impostazioni", L"Informazioni su"},
        {0x0C0A, L"Configuración", L"Acerca de"},
        {0x0411, L"設定", L"バージョン情報"},
    };
    const HMODULE dll = testhost::Dll().module;
    ASSERT_NE(nullptr, dll);
    for (const Row& row : rows)
    {
        const uiext2::LanguageRow& language = uiext2::LanguageTable(row.languageCode);
        SCOPED_TRACE(language.suffix);
        testwindow::TemplateDialog settings(dll, language.settingsTemplate, language.resourceLanguage);
        ASSERT_TRUE(settings.ok());
        EXPECT_EQ(row.settings, settings.Caption());
        EXPECT_EQ(26u, settings.Controls().size());
        for (const testwindow::TemplateDialog::Control& control : settings.Controls())
            EXPECT_TRUE(control.inside) << "control " << control.id << " reaches out of the page";

        testwindow::TemplateDialog about(dll, language.aboutTemplate, language.resourceLanguage);
        ASSERT_TRUE(about.ok());
        EXPECT_EQ(row.about, about.Caption());
        ASSERT_EQ(1u, about.Controls().size());
        EXPECT_EQ(2003, about.Controls()[0].id);
    }
}

} // namespace
