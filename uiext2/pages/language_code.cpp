// Language code arithmetic and the language table.
#include "pages/language_code.h"

#include "device/path_rules.h"

#include <cstdio>
#include <cstring>

namespace uiext2
{

namespace
{

// No validation, as the companion's own code reads these texts: anything below 'A'
// counts from '0', anything below 'a' from 'A' - 10, the rest from 'a' - 10.
int HexDigit(signed char c) noexcept
{
    if (c < 'A')
        return c - '0';
    if (c < 'a')
        return c - 55;
    return c - 87;
}

int32_t ChineseScript(int32_t code) noexcept
{
    switch (code)
    {
    case 0x0804: // PRC
        return LanguageChineseSimplified;
    case 0x0404: // Taiwan
    case 0x0C04: // Hong Kong SAR
    case 0x1004: // Singapore: the Traditional row, not the Simplified one
    case 0x1404: // Macao SAR
        return LanguageChineseTraditional;
    default:
        return code;
    }
}

bool IsHindiUserLocale(LocaleText user) noexcept
{
    return user.count == 5 && user.text && std::strcmp(user.text, "0439") == 0;
}

const LanguageRow kRows[] = {
    {7, 214, 254, 0x0407, "deu"},
    {10, 216, 256, 0x0C0A, "esp"},
    {12, 213, 253, 0x040C, "fra"},
    {16, 215, 255, 0x0410, "ita"},
    {17, 217, 257, 0x0411, "jpn"},
    {static_cast<uint8_t>(LanguageChineseSimplified), 211, 251, 0x0804, "chs"},
    {static_cast<uint8_t>(LanguageChineseTraditional), 212, 252, 0x0404, "cht"},
};
const LanguageRow kEnglish = {9, 210, 250, 0x0409, "enu"};

} // namespace

int32_t LanguageCodeFromLocales(LocaleText system, LocaleText user) noexcept
{
    if (system.count <= 0 && user.count <= 0)
        return 0;

    int32_t code = 0;
    if (IsHindiUserLocale(user))
    {
        // The user's own locale wins only for Hindi: digits two to four of "0439".
        for (int i = 1, shift = 8; i < user.count - 1 && shift >= 0; ++i, shift -= 4)
            code += HexDigit(static_cast<signed char>(user.text[i])) * (1 << shift);
    }
    else if (system.count - 1 > 0 && system.text)
    {
        // Four hexadecimal digits, the first weighing 16^3. A longer text than the
        // platform ever gives stops at the fourth digit rather than shift below zero.
        for (int i = 0, shift = 12; i < system.count - 1 && shift >= 0; ++i, shift -= 4)
            code += HexDigit(static_cast<signed char>(system.text[i])) * (1 << shift);
    }

    if ((code & 0xFF) == 4)
        code = ChineseScript(code);
    return code;
}

const LanguageRow& LanguageTable(int32_t languageCode) noexcept
{
    const auto key = static_cast<uint8_t>(languageCode & 0xFF);
    for (const LanguageRow& row : kRows)
    {
        if (row.key == key)
            return row;
    }
    return kEnglish;
}

namespace
{
bool FormatWithSuffix(const char* pattern, const LanguageRow& row, char* out, size_t size) noexcept
{
    if (!out || size == 0)
        return false;
    const int written = std::snprintf(out, size, pattern, row.suffix);
    if (written < 0 || static_cast<size_t>(written) >= size)
    {
        out[0] = '\0';
        return false;
    }
    return true;
}
} // namespace

bool FormatHelpFile(const LanguageRow& row, char* out, size_t size) noexcept
{
    // In the driver package's folder; the pattern keeps one %s for the suffix.
    char pattern[64];
    const int made = std::snprintf(pattern, sizeof(pattern), "\\%s\\WIAHelp_%%s.chm", kPackageFolder);
    return made > 0 && static_cast<size_t>(made) < sizeof(pattern) && FormatWithSuffix(pattern, row, out, size);
}

bool FormatLanguageLibrary(const LanguageRow& row, char* out, size_t size) noexcept
{
    return FormatWithSuffix("VTTWGUILang_%s.dll", row, out, size);
}

} // namespace uiext2
