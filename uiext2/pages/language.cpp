// The platform read behind LanguageCode().
#include "pages/language.h"

#include <windows.h>

namespace uiext2
{

namespace
{

// Asks for the needed length first, then reads into a 32-byte buffer. The count is the
// platform's answer: characters written, terminator included, or 0.
int ReadLanguageText(LCID locale, char (&buffer)[32]) noexcept
{
    buffer[0] = '\0';
    const int needed = ::GetLocaleInfoA(locale, LOCALE_ILANGUAGE, nullptr, 0);
    if (needed <= 0 || needed > static_cast<int>(sizeof(buffer)))
        return 0;
    return ::GetLocaleInfoA(locale, LOCALE_ILANGUAGE, buffer, needed);
}

} // namespace

int32_t LanguageCode() noexcept
{
    char systemText[32];
    char userText[32];
    const int systemCount = ReadLanguageText(LOCALE_SYSTEM_DEFAULT, systemText);
    const int userCount = ReadLanguageText(LOCALE_USER_DEFAULT, userText);
    return LanguageCodeFromLocales({systemText, systemCount}, {userText, userCount});
}

} // namespace uiext2
