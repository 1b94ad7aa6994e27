// The language code as the platform's locale settings give it.
#pragma once

#include "pages/language_code.h"

namespace uiext2
{

// Reads LOCALE_ILANGUAGE of the system and user default locales. Computed afresh on
// every call; nothing is stored.
int32_t LanguageCode() noexcept;

} // namespace uiext2
