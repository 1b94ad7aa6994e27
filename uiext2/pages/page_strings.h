// Strings of the pages' resources in a chosen language.
#pragma once

#include <windows.h>

namespace uiext2
{

// String `id` of `module` in the string table of `language` (a LANGID), into `out`. The
// thread's UI language is left alone: the pages show the language their templates were
// chosen in, which need not be the thread's. False, with `out` empty, when that table has
// no such string or it does not fit.
bool LoadLanguageString(HMODULE module, UINT id, WORD language, wchar_t* out, int capacity) noexcept;

} // namespace uiext2
