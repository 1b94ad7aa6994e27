// Listing a held folder and deleting its entries through handles on the entries themselves.
#include "device/folder_entries.h"

#include "platform/file_disposition.h"

#include <winternl.h>

#include <cwchar>

namespace uiext2
{

namespace
{

constexpr DWORD kListBytes = 64 * 1024;

// FILE_NAME_INFO with room for a folder's name and an entry's.
struct NameRecord
{
    FILE_NAME_INFO info;
    wchar_t rest[MAX_PATH + 256];
};

// The name the file system gives the handle's file within its volume; its length in
// characters, 0 when it gives none.
size_t NameOf(HANDLE handle, NameRecord& record) noexcept
{
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, &record, sizeof(record)))
        return 0;
    return record.info.FileNameLength / sizeof(wchar_t);
}

// Opens the listed entry relative to the held folder by its listed name, on the entry
// itself (FILE_OPEN_REPARSE_POINT), and only when it is not a folder. Without
// OBJ_CASE_INSENSITIVE: the entry of exactly that name, not one that differs from it in case
// only (a case-sensitive folder can hold both).
NTSTATUS OpenEntry(HANDLE folder, const ListedEntry& entry, UniqueFile& out) noexcept
{
    UNICODE_STRING name;
    name.Buffer = const_cast<wchar_t*>(entry.name);
    name.Length = name.MaximumLength = entry.nameBytes;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &name, 0, folder, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status =
        ::NtCreateFile(&handle, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &io, nullptr, 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                       FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (NT_SUCCESS(status))
        out.reset(handle);
    return status;
}

} // namespace

FolderListing::FolderListing(HANDLE folder) noexcept : folder_(folder), buffer_(::LocalAlloc(LMEM_FIXED, kListBytes)) {}

bool FolderListing::Next(ListedEntry& entry) noexcept
{
    if (!next_)
    {
        // The records of FileIdBothDirectoryInfo carry each entry's file number.
        const FILE_INFO_BY_HANDLE_CLASS kind = restart_ ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
        if (!buffer_ || !::GetFileInformationByHandleEx(folder_, kind, buffer_.get(), kListBytes))
        {
            buffer_.reset(); // at the end (ERROR_NO_MORE_FILES) or failed: the listing is over
            return false;
        }
        restart_ = false;
        next_ = static_cast<const BYTE*>(buffer_.get());
    }
    const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(next_);
    entry.name = record->FileName;
    // A name too long for an open (none is, on any file system) is given as none.
    entry.nameBytes = record->FileNameLength <= 0xFFFE ? static_cast<USHORT>(record->FileNameLength) : 0;
    entry.attributes = record->FileAttributes;
    entry.fileId = record->FileId.QuadPart;
    next_ = record->NextEntryOffset != 0 ? next_ + record->NextEntryOffset : nullptr;
    return true;
}

EntryProof ProofFor(HANDLE folder) noexcept
{
    // The attribute flags alone: the volume's label and serial number would cost Wine a
    // look-up of the mount point.
    DWORD flags = 0;
    return ::GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
                   (flags & FILE_SUPPORTS_REPARSE_POINTS) != 0
               ? EntryProof::Identity
               : EntryProof::Name;
}

EntryDeleter::EntryDeleter(HANDLE folder, EntryProof proof) noexcept : folder_(folder), proof_(proof)
{
    if (proof_ != EntryProof::Name)
        return;
    NameRecord name;
    const size_t length = NameOf(folder_, name);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::wmemcpy(folderName_, name.info.FileName, length);
    // The volume's root ends in its separator already.
    folderLength_ = length;
    if (folderName_[length - 1] != L'\\')
        folderName_[folderLength_++] = L'\\';
}

bool EntryDeleter::Delete(const ListedEntry& entry) noexcept
{
    UniqueFile file;
    // An empty name would open the folder itself.
    return entry.nameBytes != 0 && NT_SUCCESS(OpenEntry(folder_, entry, file)) && Shows(file.get(), entry) &&
           Dispose(file.get());
}

bool EntryDeleter::Shows(HANDLE file, const ListedEntry& entry) const noexcept
{
    if (proof_ == EntryProof::Identity)
    {
        // FILE_INTERNAL_INFORMATION: the file's number on its volume. (FileIdInfo would also
        // ask for the volume's serial number.)
        LARGE_INTEGER number = {};
        IO_STATUS_BLOCK io = {};
        return NT_SUCCESS(::NtQueryInformationFile(file, &io, &number, sizeof(number), FileInternalInformation)) &&
               number.QuadPart == entry.fileId;
    }
    // Compared exactly: both names come from the file system, and a folder whose name
    // differs in case only is another folder where names are case-sensitive.
    NameRecord name;
    const size_t listed = entry.nameBytes / sizeof(wchar_t);
    return folderLength_ != 0 && NameOf(file, name) == folderLength_ + listed &&
           std::wmemcmp(name.info.FileName, folderName_, folderLength_) == 0 &&
           std::wmemcmp(name.info.FileName + folderLength_, entry.name, listed) == 0;
}

bool EntryDeleter::Dispose(HANDLE file) noexcept
{
    if (posix_)
    {
        platform::FileDispositionInfoEx posix = {platform::kDispositionDelete | platform::kDispositionPosixSemantics};
        if (::SetFileInformationByHandle(file, platform::kFileDispositionInfoEx, &posix, sizeof(posix)))
            return true;
        // Unknown before Windows 10 (1607), on file systems without POSIX deletion and under
        // Wine: the classic disposition serves this entry and every later one.
        const DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)
            posix_ = false;
    }
    FILE_DISPOSITION_INFO classic = {TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &classic, sizeof(classic)) != FALSE;
}

} // namespace uiext2
