// File-disposition declarations that MinGW-w64's headers give only to Windows 10 targets
// (version 1607 and later): SetFileInformationByHandle with FileDispositionInfoEx. This
// project targets Windows 7 and up, so a call with them fails cleanly where the platform
// is older.
#pragma once

#include <windows.h>

namespace platform
{

// FILE_INFO_BY_HANDLE_CLASS value of FileDispositionInfoEx.
constexpr FILE_INFO_BY_HANDLE_CLASS kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

constexpr DWORD kDispositionDelete = 0x1;
// The name goes when the caller's handle closes, even while other handles stay open.
constexpr DWORD kDispositionPosixSemantics = 0x2;

struct FileDispositionInfoEx
{
    DWORD Flags;
};

} // namespace platform
