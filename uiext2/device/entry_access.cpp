// Entries opened relative to held folder handles, and the checks that they are ours.
#include "device/entry_access.h"

#include "device/held_folder.h"
#include "platform/nt_file.h"

#include <cwchar>

namespace uiext2
{

bool WideName(const char* text, wchar_t (&out)[MAX_PATH]) noexcept
{
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, MAX_PATH) > 0;
}

NTSTATUS OpenRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, UniqueFile& out, bool entryItself) noexcept
{
    UNICODE_STRING text;
    ::RtlInitUnicodeString(&text, name);
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const ULONG flags = options | FILE_SYNCHRONOUS_IO_NONALERT | (entryItself ? FILE_OPEN_REPARSE_POINT : 0);
    const NTSTATUS status = ::NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                           share, disposition, flags, nullptr, 0);
    if (NT_SUCCESS(status))
        out.reset(handle);
    return status;
}

DWORD ErrorOf(NTSTATUS status) noexcept
{
    if (NT_SUCCESS(status))
        return ERROR_SUCCESS;
    if (status == kStatusFileIsADirectory || status == kStatusNotADirectory)
        return kErrorNotOurs;
    return ::RtlNtStatusToDosError(status);
}

bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag) noexcept
{
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag.ReparseTag);
}

ULONGLONG FileNumber(HANDLE handle) noexcept
{
    LARGE_INTEGER number = {};
    IO_STATUS_BLOCK io = {};
    if (!NT_SUCCESS(::NtQueryInformationFile(handle, &io, &number, sizeof(number), kFileInternalInformation)))
        return 0;
    return static_cast<ULONGLONG>(number.QuadPart);
}

bool JoinName(const wchar_t* folder, const wchar_t* name, wchar_t (&out)[MAX_PATH]) noexcept
{
    const size_t length = std::wcslen(folder);
    const wchar_t* separator = length > 0 && folder[length - 1] == L'\\' ? L"" : L"\\";
    const int written = std::swprintf(out, MAX_PATH, L"%ls%ls%ls", folder, separator, name);
    return written > 0 && written < MAX_PATH;
}

bool HandleName(HANDLE handle, wchar_t (&out)[MAX_PATH]) noexcept
{
    struct
    {
        FILE_NAME_INFO info;
        wchar_t rest[MAX_PATH];
    } name = {};
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof(name)))
        return false;
    const size_t length = name.info.FileNameLength / sizeof(wchar_t);
    if (length >= MAX_PATH)
        return false;
    std::wmemcpy(out, name.info.FileName, length);
    out[length] = L'\0';
    return true;
}

namespace
{

// How the folder's listing spells the entry that opening `name` finds: one spelled exactly so
// when there is one (the file system takes it first), else the one whose name matches without
// letter case. The whole folder is read, through a handle of its own: a listing asked for one
// name may answer with that name as asked, not as the entry spells it, and a handle that was
// listed before may give that listing again (both seen with Wine).
bool ListedSpelling(HANDLE held, const wchar_t* name, wchar_t (&out)[MAX_PATH]) noexcept
{
    UniqueFile listing; // the held folder itself: an empty name relative to its handle
    if (!NT_SUCCESS(OpenRelative(held, L"", FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 FILE_OPEN, FILE_DIRECTORY_FILE, listing)))
        return false;
    const HANDLE folder = listing.get();
    alignas(8) BYTE buffer[8192];
    UNICODE_STRING all;
    ::RtlInitUnicodeString(&all, L"*");
    bool found = false;
    for (BOOLEAN restart = TRUE;; restart = FALSE)
    {
        IO_STATUS_BLOCK io = {};
        const NTSTATUS status = ::NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer, sizeof(buffer),
                                                       kFileNamesInformation, FALSE, restart ? &all : nullptr, restart);
        if (!NT_SUCCESS(status))
            return found;
        for (const BYTE* at = buffer;;)
        {
            const auto* entry = reinterpret_cast<const NtFileNamesInformation*>(at);
            const int length = static_cast<int>(entry->FileNameLength / sizeof(wchar_t));
            if (length < MAX_PATH && ::CompareStringOrdinal(entry->FileName, length, name, -1, TRUE) == CSTR_EQUAL)
            {
                std::wmemcpy(out, entry->FileName, static_cast<size_t>(length));
                out[length] = L'\0';
                found = true;
                if (::CompareStringOrdinal(entry->FileName, length, name, -1, FALSE) == CSTR_EQUAL)
                    return true;
            }
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

bool SameText(const wchar_t* a, const wchar_t* b) noexcept
{
    return ::CompareStringOrdinal(a, -1, b, -1, FALSE) == CSTR_EQUAL;
}

} // namespace

bool IsEntryItself(const OwnFolder& folder, const wchar_t* name, HANDLE opened) noexcept
{
    wchar_t held[MAX_PATH];
    wchar_t expected[MAX_PATH];
    if (!HandleName(opened, held) || !JoinName(folder.volumeName(), name, expected))
        return false;
    if (SameText(held, expected))
        return true; // the usual case, and Windows' always: one name query
    // The spelling differs: only an entry whose own name is spelled as the handle's is it.
    wchar_t spelling[MAX_PATH];
    return ListedSpelling(folder.handle(), name, spelling) && JoinName(folder.volumeName(), spelling, expected) &&
           SameText(held, expected);
}

bool Dispose(HANDLE handle) noexcept
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

} // namespace uiext2
