// The pages that AddPages offers in a process whose system locale CTest sets: the templates
// of that language, and their texts intact after the system's ANSI code page.
#include "dll_host.h"
#include "page_templates.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

TEST(PagesInTheSystemLocale, ComeFromTheTemplatesOfItsLanguage)
{
    const char* expected = std::getenv("UIEXT2_EXPECTED_TEMPLATES"); // "<settings> <about>"
    ASSERT_NE(nullptr, expected) << "run through CTest, which sets the locale and the templates";
    int templates[2] = {};
    ASSERT_EQ(2, std::sscanf(expected, "%d %d", &templates[0], &templates[1]));

    testwindow::PropertiesHost host("uiext2 window locale");
    ASSERT_TRUE(host.ok());
    testwindow::PropertiesHost::Offer offer = host.AddPages();
    ASSERT_EQ(2u, offer.kept.size());
    testwindow::ModelessSheet sheet(offer.kept);
    const HMODULE dll = testhost::Dll().module;
    HWND tabs = PropSheet_GetTabControl(sheet.sheet());
    for (int index = 0; index < 2; ++index)
    {
        const std::vector<WORD> languages = testwindow::DialogLanguages(dll, templates[index]);
        ASSERT_EQ(1u, languages.size());
        testwindow::TemplateDialog dialog(dll, templates[index], languages[0]);
        ASSERT_TRUE(dialog.ok());
        wchar_t title[128] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        item.cchTextMax = 128;
        ASSERT_TRUE(::SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item)));
        EXPECT_EQ(dialog.Caption(), title) << "tab " << index;
        // A control's text, as the ANSI page made it through the system code page.
        const int control = index == 0 ? 1069 : 2003;
        wchar_t shown[128] = {};
        ::GetDlgItemTextW(sheet.page(index), control, shown, 128);
        EXPECT_EQ(dialog.Text(control), shown) << "control " << control;
    }
}
