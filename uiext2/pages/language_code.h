// The language the extension presents itself in, and the table that turns it into
// dialog templates, file suffix, help file and language library. Pure logic: the locale
// texts come in as arguments, read by LanguageCode() in language_platform.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace uiext2
{

// Private codes for the two Chinese scripts; other codes are Windows LANGIDs.
constexpr int32_t LanguageChineseSimplified = 192;
constexpr int32_t LanguageChineseTraditional = 193;

// One locale's LOCALE_ILANGUAGE text as the platform returned it: `count` is the
// platform's result (characters written, terminator included; 0 when the read failed).
struct LocaleText
{
    const char* text;
    int count;
};

// The language code from the system and user default locales' texts.
int32_t LanguageCodeFromLocales(LocaleText system, LocaleText user) noexcept;

struct LanguageRow
{
    uint8_t key;               // low 8 bits of the language code
    int settingsTemplate;      // dialog resource id of the Settings page
    int aboutTemplate;         // dialog resource id of the About page
    uint16_t resourceLanguage; // LANGUAGE of both templates in the resource script
    const char* suffix;        // three letters naming the help file and language library
};

// The row for a language code: its low 8 bits choose; unknown keys give English.
const LanguageRow& LanguageTable(int32_t languageCode) noexcept;

// "\WIA Scanner\USB2\WIAHelp_xxx.chm", to be appended to the program files folder,
// and "VTTWGUILang_xxx.dll". False when `size` is too small (out is then empty).
bool FormatHelpFile(const LanguageRow& row, char* out, size_t size) noexcept;
bool FormatLanguageLibrary(const LanguageRow& row, char* out, size_t size) noexcept;

} // namespace uiext2
