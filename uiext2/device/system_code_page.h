// The system's ANSI code page as the private-profile functions convert with it.
#pragma once

#include <windows.h>

#include "device/profile_merge.h"

namespace uiext2
{

// CP_ACP through MultiByteToWideChar and WideCharToMultiByte, with the flags the profile
// functions use (none): what GetPrivateProfileStringA makes of a Unicode file's value.
const AnsiCodePage& SystemCodePage() noexcept;

// What a writer of the settings file returns when the INI model is unsure that the platform's
// readers would find the change where it is meant (see ProfileUpdate): nothing was written.
constexpr DWORD kErrorUnsureProfile = ERROR_INVALID_DATA;

} // namespace uiext2
