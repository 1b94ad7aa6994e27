// Native file calls that MinGW-w64's winternl.h declares only in part: what opening,
// listing, renaming and deleting relative to a held folder handle needs.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstring>

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID apcContext,
                                               PIO_STATUS_BLOCK io, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS kind, BOOLEAN singleEntry, PUNICODE_STRING mask,
                                               BOOLEAN restart);

namespace uiext2
{

// FILE_RENAME_INFORMATION as NtSetInformationFile takes it (winternl.h has the class, not the
// record); the Ex class reads its first member as flags. Its name is relative to
// RootDirectory when that is set. Renaming through SetFileInformationByHandle(FileRenameInfo)
// is not used: its caller-side conversion turns a bare name into a path under the current
// directory on some platforms (Wine's kernelbase), which would drop the root handle.
struct NtRenameInformation
{
    union
    {
        BOOLEAN ReplaceIfExists; // FileRenameInformation
        ULONG Flags;             // FileRenameInformationEx
    };
    HANDLE RootDirectory;
    ULONG FileNameLength; // bytes
    WCHAR FileName[1];
};

// An information class newer than the enumeration MinGW-w64 declares (its values end below
// it), carried in the enumeration's own representation.
inline FILE_INFORMATION_CLASS NewerInformationClass(int value) noexcept
{
    static_assert(sizeof(FILE_INFORMATION_CLASS) == sizeof(int), "an enumeration of int");
    FILE_INFORMATION_CLASS kind;
    std::memcpy(&kind, &value, sizeof(kind));
    return kind;
}

// Windows 10 1709 and later; the read-only flag from 1809 on.
constexpr int kFileRenameInformationEx = 65;
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenamePosixSemantics = 0x2;
constexpr ULONG kRenameIgnoreReadOnly = 0x40;

// FILE_INTERNAL_INFORMATION: the file's number within its volume.
constexpr FILE_INFORMATION_CLASS kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
// FILE_NAMES_INFORMATION, the smallest listing record.
constexpr FILE_INFORMATION_CLASS kFileNamesInformation = static_cast<FILE_INFORMATION_CLASS>(12);
struct NtFileNamesInformation
{
    ULONG NextEntryOffset;
    ULONG FileIndex;
    ULONG FileNameLength; // bytes
    WCHAR FileName[1];
};

// The NTSTATUS values this code tells apart (ntstatus.h clashes with winnt.h).
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kStatusNotSupported = static_cast<NTSTATUS>(0xC00000BB);

} // namespace uiext2
