// Our folders, each opened on the entry itself relative to its parent's held handle, the
// proof that an entry opened through one is that folder's entry, and their listing.
#include "device/own_folder.h"

#include "platform/file_disposition.h"
#include "platform/nt_file.h"
#include "trace/trace_events.h"

#include <cstring>
#include <cwchar>
#include <utility>

namespace uiext2
{

namespace
{

constexpr ULONG kShareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Listing and traversal take part in sharing checks (a handle asking for attributes alone
// does not, on Windows as under Wine); without FILE_SHARE_DELETE in the hold's sharing,
// nobody can rename or delete the folder while it is held.
constexpr ACCESS_MASK kHoldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kListBytes = 64 * 1024;
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

volatile LONG g_classicDeletion = 0; // the platform refused POSIX deletion once

// The name the file system gives the handle within its volume, and its length; 0 when it
// gives none.
size_t HandleName(HANDLE handle, wchar_t (&out)[MAX_PATH]) noexcept
{
    struct
    {
        FILE_NAME_INFO info;
        wchar_t rest[MAX_PATH];
    } name = {};
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof(name)))
        return 0;
    const size_t length = name.info.FileNameLength / sizeof(wchar_t);
    if (length == 0 || length >= MAX_PATH)
        return 0;
    std::wmemcpy(out, name.info.FileName, length);
    out[length] = L'\0';
    return length;
}

} // namespace

DWORD OwnFolder::Refuse(const char* check, const wchar_t* name, DWORD error) noexcept
{
    trace::NotOurs(check, name, error);
    return kErrorNotOurs;
}

bool OwnFolder::IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag) noexcept
{
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag.ReparseTag);
}

ULONGLONG OwnFolder::FileNumber(HANDLE handle) noexcept
{
    LARGE_INTEGER number = {};
    IO_STATUS_BLOCK io = {};
    if (!NT_SUCCESS(::NtQueryInformationFile(handle, &io, &number, sizeof(number), kFileInternalInformation)))
        return 0;
    return static_cast<ULONGLONG>(number.QuadPart);
}

bool IsTransient(DWORD error) noexcept
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_DELETE_PENDING;
}

bool MarkForDeletion(HANDLE file) noexcept
{
    if (!g_classicDeletion)
    {
        platform::FileDispositionInfoEx posix = {platform::kDispositionDelete | platform::kDispositionPosixSemantics};
        if (::SetFileInformationByHandle(file, platform::kFileDispositionInfoEx, &posix, sizeof(posix)))
            return true;
        const DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)
            ::InterlockedExchange(&g_classicDeletion, 1);
    }
    return SetDeletePending(file, true);
}

bool SetDeletePending(HANDLE file, bool pending) noexcept
{
    FILE_DISPOSITION_INFO classic = {};
    classic.DeleteFile = pending ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &classic, sizeof(classic)) != FALSE;
}

bool OwnFolder::WideName(const char* text, wchar_t (&out)[MAX_PATH]) noexcept
{
    return text && ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, MAX_PATH) > 0;
}

DWORD OwnFolder::OpenEntry(const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
                           UniqueFile& out, ULONG how) const noexcept
{
    if (!handle_)
        return ERROR_PATH_NOT_FOUND;
    UNICODE_STRING text;
    ::RtlInitUnicodeString(&text, name);
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, (how & kExactCase) ? 0 : OBJ_CASE_INSENSITIVE, handle_.get(), nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const ULONG flags = options | FILE_SYNCHRONOUS_IO_NONALERT | ((how & kOnEntry) ? FILE_OPEN_REPARSE_POINT : 0);
    const NTSTATUS status = ::NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                           share, disposition, flags, nullptr, 0);
    if (NT_SUCCESS(status))
    {
        out.reset(handle);
        return ERROR_SUCCESS;
    }
    if (status == kStatusFileIsADirectory || status == kStatusNotADirectory)
        return kErrorNotOurs;
    return status == kStatusDeletePending ? ERROR_DELETE_PENDING : ::RtlNtStatusToDosError(status);
}

bool OwnFolder::Proves(HANDLE opened, const wchar_t* name, ULONG length, const LONGLONG* listedId) const noexcept
{
    if (listedId)
    {
        if (byNumber_ < 0)
        {
            // The volume supports reparse points: an open with FILE_OPEN_REPARSE_POINT stops
            // at a link entry and holds the link itself, whose number the listing gave. The
            // attribute flags alone are asked for: the label and serial number would cost
            // Wine a look-up of the mount point.
            DWORD flags = 0;
            byNumber_ =
                ::GetVolumeInformationByHandleW(handle_.get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
                        (flags & FILE_SUPPORTS_REPARSE_POINTS) != 0
                    ? 1
                    : 0;
        }
        if (byNumber_)
            return *listedId != 0 && FileNumber(opened) == static_cast<ULONGLONG>(*listedId);
    }
    // Elsewhere an open follows a link the platform cannot show (Wine opens a Unix symbolic
    // link's target even so, with the target's attributes and number), and only the name
    // the file system gives the handle tells them apart: the folder's, then the entry's own
    // spelling, compared exactly (a folder whose names differ in case only may hold both).
    wchar_t held[MAX_PATH];
    const size_t heldLength = HandleName(opened, held);
    const auto continues = [&](const wchar_t* entry, size_t entryLength)
    {
        const size_t separator = volumeName_[volumeLength_ - 1] == L'\\' ? 0 : 1;
        return heldLength == volumeLength_ + separator + entryLength &&
               std::wmemcmp(held, volumeName_, volumeLength_) == 0 && (!separator || held[volumeLength_] == L'\\') &&
               std::wmemcmp(held + volumeLength_ + separator, entry, entryLength) == 0;
    };
    if (heldLength == 0 || volumeLength_ == 0)
        return false;
    if (continues(name, length))
        return true; // the usual case, and Windows' always: one name query
    if (listedId)
        return false;
    // The spelling differs: only an entry whose own name is spelled as the handle's is it.
    // One spelled exactly as asked comes first (the file system takes it first), else the
    // one whose name matches without letter case.
    bool shown = false;
    List(
        [&](const ListedEntry& entry)
        {
            if (::CompareStringOrdinal(entry.name, static_cast<int>(entry.length), name, static_cast<int>(length),
                                       TRUE) != CSTR_EQUAL)
                return true;
            const bool exact = ::CompareStringOrdinal(entry.name, static_cast<int>(entry.length), name,
                                                      static_cast<int>(length), FALSE) == CSTR_EQUAL;
            shown = continues(entry.name, entry.length);
            return !exact;
        });
    return shown;
}

bool OwnFolder::OpenRoot(const char* path) noexcept
{
    handle_.reset();
    if (!path || std::strlen(path) >= sizeof(path_))
        return false;
    std::memcpy(path_, path, std::strlen(path) + 1);
    // The system's folder: shared fully, since it is not ours to hold.
    handle_.reset(
        ::CreateFileA(path_, kHoldAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    volumeLength_ = handle_ ? HandleName(handle_.get(), volumeName_) : 0;
    if (volumeLength_ == 0)
        handle_.reset();
    return held();
}

DWORD OwnFolder::Hold(const OwnFolder& parent, ULONG disposition, ACCESS_MASK access) noexcept
{
    UniqueFile handle;
    const DWORD error =
        parent.OpenEntry(name_, access, kShareAllButDelete, disposition, FILE_DIRECTORY_FILE, handle, kOnEntry);
    if (error == kErrorNotOurs)
        return Refuse("file", name_);
    if (error != ERROR_SUCCESS)
        return error;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof(tag)))
        return Refuse("attributes", name_, ::GetLastError());
    if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Refuse("file", name_);
    if (IsLink(tag))
        return Refuse("link", name_);
    if (!parent.Proves(handle.get(), name_, static_cast<ULONG>(std::wcslen(name_)), nullptr) ||
        (volumeLength_ = HandleName(handle.get(), volumeName_)) == 0)
        return Refuse("name", name_);
    handle_ = std::move(handle);
    return ERROR_SUCCESS;
}

bool OwnFolder::Open(const OwnFolder& parent, const char* name, bool create) noexcept
{
    handle_.reset();
    const size_t parentLength = std::strlen(parent.path());
    if (!parent.held() || !WideName(name, name_) || parentLength + 1 + std::strlen(name) >= sizeof(path_))
        return false;
    std::memcpy(path_, parent.path(), parentLength);
    path_[parentLength] = '\\';
    std::memcpy(path_ + parentLength + 1, name, std::strlen(name) + 1);
    const ULONG disposition = create ? FILE_OPEN_IF : FILE_OPEN;
    if (Hold(parent, disposition, kHoldAccess) == ERROR_SUCCESS)
        return true;
    if (!create)
        return false;
    // A junction or symbolic link where our folder belongs: the link itself goes, through a
    // handle opened on it, never its target. Any other entry stays. Wine shows a Unix
    // symbolic link's handle as a plain folder, so there it is never removed (and the
    // folder is then done without).
    UniqueFile link;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return parent.OpenEntry(name_, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, link) == ERROR_SUCCESS &&
           ::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof(tag)) && IsLink(tag) &&
           MarkForDeletion(link.get()) && (link.reset(), Hold(parent, disposition, kHoldAccess) == ERROR_SUCCESS);
}

void OwnFolder::RemoveIfEmpty(const OwnFolder& parent) noexcept
{
    if (!handle_ || !parent.held())
        return;
    // Held without the right to delete, so that others' searches of the folder (which do
    // not all share deletion) still open it: let go, then take it again with that right,
    // relative to the parent's handle and checked as before.
    handle_.reset();
    if (Hold(parent, FILE_OPEN, DELETE | kHoldAccess) != ERROR_SUCCESS)
        return;
    // Marks the folder we verified. A folder with entries refuses (ERROR_DIR_NOT_EMPTY) and stays.
    MarkForDeletion(handle_.get());
    handle_.reset();
}

OwnFolder::Listing::Listing(UniqueFile folder) noexcept
    : folder_(std::move(folder)), buffer_(::LocalAlloc(LMEM_FIXED, kListBytes))
{
}

OwnFolder::Listing::Listing(const OwnFolder& folder) noexcept : buffer_(::LocalAlloc(LMEM_FIXED, kListBytes))
{
    // The held folder itself, through a handle of its own: an empty name relative to it.
    folder.OpenEntry(L"", FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE, folder_);
}

bool OwnFolder::Listing::Next(ListedEntry& entry) noexcept
{
    for (;;)
    {
        if (!next_)
        {
            // The records of FileIdBothDirectoryInfo carry each entry's file number.
            const FILE_INFO_BY_HANDLE_CLASS kind = restart_ ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
            if (!folder_ || !buffer_ || !::GetFileInformationByHandleEx(folder_.get(), kind, buffer_.get(), kListBytes))
            {
                buffer_.reset(); // at the end (ERROR_NO_MORE_FILES) or failed: the listing is over
                return false;
            }
            restart_ = false;
            next_ = static_cast<const BYTE*>(buffer_.get());
        }
        const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(next_);
        next_ = record->NextEntryOffset != 0 ? next_ + record->NextEntryOffset : nullptr;
        entry.name = record->FileName;
        entry.length = record->FileNameLength / sizeof(wchar_t);
        entry.attributes = record->FileAttributes;
        entry.fileId = record->FileId.QuadPart;
        const bool dots = (entry.length == 1 || entry.length == 2) && entry.name[0] == L'.' &&
                          (entry.length == 1 || entry.name[1] == L'.');
        if (!dots)
            return true;
    }
}

bool OwnFolder::DeleteListed(const ListedEntry& entry) const noexcept
{
    // An empty name would open the folder itself; a name longer than any path is none.
    wchar_t name[MAX_PATH];
    if (entry.length == 0 || entry.length >= MAX_PATH || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::wmemcpy(name, entry.name, entry.length);
    name[entry.length] = L'\0';
    UniqueFile file;
    return OpenEntry(name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE, file,
                     kOnEntry | kExactCase) == ERROR_SUCCESS &&
           Proves(file.get(), name, entry.length, &entry.fileId) && MarkForDeletion(file.get());
}

namespace
{

// The temporary names of own_file_update.cpp: "~", eight hexadecimal digits, ".", one to three.
bool IsLeftoverName(const wchar_t* name, ULONG length) noexcept
{
    const auto hex = [](wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); };
    if (length < 11 || length > 13 || name[0] != L'~' || name[9] != L'.')
        return false;
    for (ULONG i = 1; i < length; ++i)
        if (i != 9 && !hex(name[i]))
            return false;
    return true;
}

} // namespace

void OwnFolder::RemoveLeftovers() const noexcept
{
    if (swept_ || !handle_)
        return;
    swept_ = true;
    List(
        [&](const ListedEntry& entry)
        {
            if (IsLeftoverName(entry.name, entry.length))
                DeleteListed(entry);
            return true;
        });
}

} // namespace uiext2
