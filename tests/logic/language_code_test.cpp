// Language code from the locale texts, and the language table.
#include "pages/language_code.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace
{

using uiext2::LanguageCodeFromLocales;
using uiext2::LanguageTable;
using uiext2::LocaleText;

// A locale text as GetLocaleInfoA returns it; nullptr means the read failed (count 0).
LocaleText Read(const char* text)
{
    return text ? LocaleText{text, static_cast<int>(std::strlen(text)) + 1} : LocaleText{"", 0};
}

struct CodeCase
{
    const char* system;
    const char* user;
    int32_t code;
    int settingsTemplate;
    int aboutTemplate;
    const char* suffix;
};

const CodeCase kCodeCases[] = {
    {"0409", "0409", 0x0409, 210, 250, "enu"},
    {"0411", "0409", 0x0411, 217, 257, "jpn"}, // the system locale decides, not the user's
    {"0409", "0411", 0x0409, 210, 250, "enu"},
    {"0407", "0439", 0x0439, 210, 250, "enu"}, // a Hindi user locale wins; key 0x39 is English
    {nullptr, "0439", 0x0439, 210, 250, "enu"},
    {"0407", "0407", 0x0407, 214, 254, "deu"},
    {"0807", "0409", 0x0807, 214, 254, "deu"}, // sublanguages share the primary row
    {"0c07", "0409", 0x0C07, 214, 254, "deu"},
    {"040C", "0409", 0x040C, 213, 253, "fra"},
    {"0C0C", "0409", 0x0C0C, 213, 253, "fra"},
    {"0410", "0409", 0x0410, 215, 255, "ita"},
    {"0C0A", "0409", 0x0C0A, 216, 256, "esp"},
    {"0c0a", "0409", 0x0C0A, 216, 256, "esp"}, // lower-case hex reads like upper-case
    {"080A", "0409", 0x080A, 216, 256, "esp"},
    {"0804", "0409", 192, 211, 251, "chs"},
    {"0404", "0409", 193, 212, 252, "cht"},
    {"0C04", "0409", 193, 212, 252, "cht"},
    {"1004", "0409", 193, 212, 252, "cht"}, // Singapore: Traditional, not Simplified
    {"1404", "0409", 193, 212, 252, "cht"},
    {"7C04", "0409", 0x7C04, 210, 250, "enu"}, // other Chinese ids keep their value, key 4
    {"0004", "0409", 0x0004, 210, 250, "enu"},
    {"0416", "0409", 0x0416, 210, 250, "enu"}, // Portuguese: not in the table
    {nullptr, nullptr, 0, 210, 250, "enu"},    // nothing readable
    {nullptr, "0409", 0, 210, 250, "enu"},     // only the user locale: still 0
    {"0411", nullptr, 0x0411, 217, 257, "jpn"},
    {"0409", "04390", 0x0409, 210, 250, "enu"}, // "0439" must match exactly
    {"0409", "0439 ", 0x0409, 210, 250, "enu"},
};

class LanguageCodeTest : public testing::TestWithParam<CodeCase>
{
};

TEST_P(LanguageCodeTest, CodeAndTableRow)
{
    const CodeCase& c = GetParam();
    const int32_t code = LanguageCodeFromLocales(Read(c.system), Read(c.user));
    EXPECT_EQ(c.code, code);
    const uiext2::LanguageRow& row = LanguageTable(code);
    EXPECT_EQ(c.settingsTemplate, row.settingsTemplate);
    EXPECT_EQ(c.aboutTemplate, row.aboutTemplate);
    EXPECT_STREQ(c.suffix, row.suffix);
}

// "System0411_User0409"; a failed read shows as "None", other characters as "x".
std::string CaseName(const testing::TestParamInfo<CodeCase>& info)
{
    auto part = [](const char* text)
    {
        if (!text)
            return std::string("None");
        std::string name;
        for (const char* c = text; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : 'x';
        return name;
    };
    return "System" + part(info.param.system) + "_User" + part(info.param.user) + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Locales, LanguageCodeTest, testing::ValuesIn(kCodeCases), CaseName);

TEST(LanguageCode, DigitsAreReadWithoutValidation)
{
    // Characters outside the hex digits still count by the digit rule: 'G' is 16 and
    // '/' is -1 (multiplied, not shifted: a negative digit must not be shifted).
    EXPECT_EQ((16 << 12) + (0 << 8) + (0 << 4) + 9, LanguageCodeFromLocales(Read("G009"), Read("0409")));
    EXPECT_EQ(-1 * 4096 + (4 << 8) + (0 << 4) + 9, LanguageCodeFromLocales(Read("/409"), Read("0409")));
}

TEST(LanguageCode, ShortAndLongSystemTexts)
{
    // Fewer digits than four weigh from 16^3 down; more than four stop at the fourth.
    EXPECT_EQ(0x4100, LanguageCodeFromLocales(Read("41"), Read(nullptr)));
    EXPECT_EQ(0x0411, LanguageCodeFromLocales(Read("041199"), Read(nullptr)));
    EXPECT_EQ(0, LanguageCodeFromLocales(LocaleText{"", 1}, Read(nullptr))); // empty text, count 1
}

TEST(LanguageTable, KeyIsTheLowByteOnly)
{
    EXPECT_STREQ("jpn", LanguageTable(0x7F11).suffix);
    EXPECT_STREQ("chs", LanguageTable(0x12C0).suffix);
    EXPECT_STREQ("enu", LanguageTable(-1).suffix);
    EXPECT_EQ(0x0C0A, LanguageTable(10).resourceLanguage);
    EXPECT_EQ(0x0804, LanguageTable(192).resourceLanguage);
    EXPECT_EQ(0x0404, LanguageTable(193).resourceLanguage);
    EXPECT_EQ(0x0409, LanguageTable(0).resourceLanguage);
}

TEST(LanguageTable, HelpFileAndLibraryNames)
{
    struct
    {
        int32_t code;
        const char* help;
        const char* library;
    } const rows[] = {
        {0x0409, "\\WIA Scanner\\USB2\\WIAHelp_enu.chm", "VTTWGUILang_enu.dll"},
        {0x0407, "\\WIA Scanner\\USB2\\WIAHelp_deu.chm", "VTTWGUILang_deu.dll"},
        {192, "\\WIA Scanner\\USB2\\WIAHelp_chs.chm", "VTTWGUILang_chs.dll"},
        {193, "\\WIA Scanner\\USB2\\WIAHelp_cht.chm", "VTTWGUILang_cht.dll"},
    };
    for (const auto& r : rows)
    {
        char help[260];
        char library[64];
        ASSERT_TRUE(uiext2::FormatHelpFile(LanguageTable(r.code), help, sizeof(help)));
        ASSERT_TRUE(uiext2::FormatLanguageLibrary(LanguageTable(r.code), library, sizeof(library)));
        EXPECT_STREQ(r.help, help);
        EXPECT_STREQ(r.library, library);
    }

    char tooSmall[10] = "unchanged";
    EXPECT_FALSE(uiext2::FormatHelpFile(LanguageTable(0x0409), tooSmall, sizeof(tooSmall)));
    EXPECT_STREQ("", tooSmall);
}

} // namespace
