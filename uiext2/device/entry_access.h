// The primitives every step inside our folders is made of: an entry opened relative to a
// held folder handle, on the entry itself, and the checks that it is the entry we asked for.
#pragma once

#include <windows.h>
#include <winternl.h>

#include "support/unique.h"

namespace uiext2
{

class OwnFolder;

// The error of an existing entry that is not one of ours: a link of any kind, a file with a
// second name (hard link), or one that is not where its folder is.
constexpr DWORD kErrorNotOurs = ERROR_BAD_FILE_TYPE;

// Our names are ANSI text in the system code page, as the file functions read them.
bool WideName(const char* text, wchar_t (&out)[MAX_PATH]) noexcept;

// Opens `name` (one component) relative to the held folder `root`. With `entryItself` the
// open carries FILE_OPEN_REPARSE_POINT, so that on Windows a link entry is opened as the
// link. The NTSTATUS.
NTSTATUS OpenRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, UniqueFile& out, bool entryItself = true) noexcept;

// The Win32 error of an NTSTATUS; a folder where a file belongs, or a file where a folder
// does, is no entry of ours.
DWORD ErrorOf(NTSTATUS status) noexcept;

// True when the attributes say "link": a reparse point whose tag is a name surrogate
// (symbolic link, junction, and their kind). Other reparse points (deduplicated, compressed
// by the overlay filter, cloud placeholders) hold the file's own data.
bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag) noexcept;

// The file's number within its volume; 0 when it cannot be read.
ULONGLONG FileNumber(HANDLE handle) noexcept;

// "<folder>\<name>" within the volume; false when it would not fit.
bool JoinName(const wchar_t* folder, const wchar_t* name, wchar_t (&out)[MAX_PATH]) noexcept;

// The name the file system gives the handle within its volume; false when it gives none.
bool HandleName(HANDLE handle, wchar_t (&out)[MAX_PATH]) noexcept;

// True when `opened` (opened by `name` relative to `folder`) is that entry of the folder and
// not the file a link leads to. On Windows, FILE_OPEN_REPARSE_POINT already gives the entry
// itself (and a link is refused by its attributes); Wine opens a Unix symbolic link's target
// even so, with the target's plain attributes and number, and only the name the handle holds
// tells them apart. That name is compared with the entry's own spelling, letter case
// included: a link to a sibling whose name differs only in case is not the entry.
bool IsEntryItself(const OwnFolder& folder, const wchar_t* name, HANDLE opened) noexcept;

// Marks the file for deletion when its last handle closes.
bool Dispose(HANDLE handle) noexcept;

} // namespace uiext2
