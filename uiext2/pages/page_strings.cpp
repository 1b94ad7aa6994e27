// Strings of one language from the module's string tables.
#include "pages/page_strings.h"

#include <cwchar>

namespace uiext2
{

bool LoadLanguageString(HMODULE module, UINT id, WORD language, wchar_t* out, int capacity) noexcept
{
    if (capacity <= 0)
        return false;
    out[0] = L'\0';
    // Strings are stored in blocks of sixteen, block n + 1 holding ids 16n to 16n + 15, each
    // as a length followed by that many UTF-16 units.
    HRSRC block =
        ::FindResourceExW(module, MAKEINTRESOURCEW(6 /* RT_STRING */), MAKEINTRESOURCEW(id / 16 + 1), language);
    const HGLOBAL loaded = block ? ::LoadResource(module, block) : nullptr;
    const auto* entry = loaded ? static_cast<const WCHAR*>(::LockResource(loaded)) : nullptr;
    if (!entry)
        return false;
    const DWORD units = ::SizeofResource(module, block) / sizeof(WCHAR);
    DWORD at = 0;
    for (UINT index = 0; index < id % 16; ++index)
    {
        if (at >= units)
            return false;
        at += 1 + entry[at];
    }
    if (at >= units || entry[at] == 0 || at + 1 + entry[at] > units || entry[at] >= static_cast<DWORD>(capacity))
        return false;
    std::wmemcpy(out, entry + at + 1, entry[at]);
    out[entry[at]] = L'\0';
    return true;
}

} // namespace uiext2
