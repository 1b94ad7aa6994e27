// Native file calls that MinGW-w64's winternl.h declares only in part: what opening,
// renaming and deleting relative to a held folder handle needs.
#pragma once

#include <windows.h>
#include <winternl.h>

namespace uiext2
{

// FILE_RENAME_INFORMATION as NtSetInformationFile takes it (winternl.h has the class, not the
// record). Its name is relative to RootDirectory when that is set. Renaming through
// SetFileInformationByHandle(FileRenameInfo) is not used: its caller-side conversion turns a
// bare name into a path under the current directory on some platforms (Wine's kernelbase),
// which would drop the root handle.
struct NtRenameInformation
{
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength; // bytes
    WCHAR FileName[1];
};

// The NTSTATUS values this code tells apart (ntstatus.h clashes with winnt.h).
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);

} // namespace uiext2
