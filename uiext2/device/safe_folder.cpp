// Link-safe use of our folders and files in the common documents folder.
#include "device/safe_folder.h"

#include "device/path_rules.h"

#include <cstring>

namespace uiext2
{

namespace
{

constexpr DWORD kMaxFileBytes = 16u * 1024u * 1024u;
constexpr DWORD kShareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The entry itself, never what a reparse point leads to; folders open too.
constexpr DWORD kEntryFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

bool SameText(const char* a, const char* b) noexcept
{
    return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

// True when the handle's attributes, as the file system gives them for the entry itself,
// carry none of `refused` and all of `required`.
bool AttributesFit(HANDLE handle, DWORD required, DWORD refused) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)))
        return false;
    return (tag.FileAttributes & required) == required && (tag.FileAttributes & refused) == 0;
}

// True when the handle's final path is `folderFinal` followed by "\<name>". A handle opened
// through a link names the link's target here (Wine shows a Unix symbolic link this way,
// while its attributes look plain).
bool FinalPathIs(HANDLE handle, const char* folderFinal, const char* name) noexcept
{
    char expected[MAX_PATH + 8];
    char actual[MAX_PATH + 8];
    if (!FormatPath(expected, sizeof(expected), "%s\\%s", folderFinal, name))
        return false;
    const DWORD length = ::GetFinalPathNameByHandleA(handle, actual, sizeof(actual), FILE_NAME_NORMALIZED);
    return length > 0 && length < sizeof(actual) && SameText(expected, actual);
}

// A file of ours in `folder`, opened on the entry itself and checked to be a plain file
// with one name, in that folder.
UniqueFile OpenOwnFile(const OwnFolder& folder, const char* name, DWORD access) noexcept
{
    char path[MAX_PATH];
    if (!folder.held() || !folder.EntryPath(name, path))
        return UniqueFile();
    UniqueFile file(::CreateFileA(path, access, kShareAllButDelete, nullptr, OPEN_EXISTING, kEntryFlags, nullptr));
    // The standard record, not GetFileInformationByHandle: that one also asks for the
    // volume's serial number, which Wine finds only by looking the mount point up, at a
    // cost of a millisecond a file.
    FILE_STANDARD_INFO standard = {};
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if (!file || !AttributesFit(file.get(), 0, kNotPlain) ||
        !::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof(standard)) ||
        standard.NumberOfLinks != 1 || standard.Directory || !FinalPathIs(file.get(), folder.finalPath(), name))
        return UniqueFile();
    return file;
}

// Deletes a junction or symbolic link found where one of our folders belongs: the link
// itself, through a handle opened on it, never its target. Any other entry stays. Wine
// shows a Unix symbolic link's handle as a plain folder, so there it is never removed (and
// the folder is then done without).
void RemoveFolderLink(const char* path) noexcept
{
    UniqueFile link(
        ::CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kEntryFlags, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!link || !::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || !IsReparseTagNameSurrogate(tag.ReparseTag))
        return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof(disposition));
}

} // namespace

bool OwnFolder::OpenRoot(const char* path) noexcept
{
    handle_.reset();
    if (!FormatPath(path_, sizeof(path_), "%s", path))
        return false;
    handle_.reset(::CreateFileA(path_, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const DWORD length =
        handle_ ? ::GetFinalPathNameByHandleA(handle_.get(), final_, sizeof(final_), FILE_NAME_NORMALIZED) : 0;
    if (length == 0 || length >= sizeof(final_))
    {
        handle_.reset();
        return false;
    }
    return true;
}

bool OwnFolder::Open(const OwnFolder& parent, const char* name, bool create) noexcept
{
    handle_.reset();
    if (!parent.held() || !parent.EntryPath(name, path_))
        return false;
    // Without a trailing backslash the attributes are the entry's own.
    DWORD attributes = ::GetFileAttributesA(path_);
    if (create && (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))
    {
        RemoveFolderLink(path_);
        ::CreateDirectoryA(path_, nullptr); // any other existing entry stays as it is
        attributes = ::GetFileAttributesA(path_);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;

    // No FILE_SHARE_DELETE: while we hold it, the folder cannot be renamed or removed and a
    // link put where it was. (Wine does not enforce this for folders.)
    return Hold(parent, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE);
}

bool OwnFolder::Hold(const OwnFolder& parent, const char* name, DWORD access) noexcept
{
    handle_.reset(::CreateFileA(path_, access, kShareAllButDelete, nullptr, OPEN_EXISTING, kEntryFlags, nullptr));
    // The checks again on what the handle holds: the entry may have changed since.
    if (!handle_ || !AttributesFit(handle_.get(), FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_REPARSE_POINT) ||
        !FinalPathIs(handle_.get(), parent.finalPath(), name) ||
        !FormatPath(final_, sizeof(final_), "%s\\%s", parent.finalPath(), name))
    {
        handle_.reset();
        return false;
    }
    return true;
}

bool OwnFolder::EntryPath(const char* name, char (&out)[MAX_PATH]) const noexcept
{
    return FormatPath(out, sizeof(out), "%s\\%s", path_, name);
}

void OwnFolder::RemoveIfEmpty(const OwnFolder& parent) noexcept
{
    if (!handle_)
        return;
    // Held without the right to delete, so that others' searches of the folder (which do
    // not all share deletion) still open it: let go, then take it again with that right,
    // checked as before.
    const char* const name = std::strrchr(final_, '\\') + 1;
    char kept[MAX_PATH];
    handle_.reset();
    if (!FormatPath(kept, sizeof(kept), "%s", name) || !Hold(parent, kept, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE))
        return;
    // Marks the folder we verified, not whatever its path names now. A folder with entries
    // refuses (ERROR_DIR_NOT_EMPTY) and stays.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition, sizeof(disposition));
    handle_.reset();
}

std::uint64_t FileBytes::Fingerprint() const noexcept
{
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](BYTE byte)
    {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (int shift = 0; shift < 32; shift += 8)
        mix(static_cast<BYTE>(size_ >> shift));
    for (DWORD i = 0; i < size_; ++i)
        mix(data()[i]);
    return hash;
}

bool FileBytes::ReadFrom(HANDLE file) noexcept
{
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart > kMaxFileBytes)
        return false;
    const DWORD wanted = static_cast<DWORD>(size.QuadPart);
    // One byte at least, so that an empty file has a buffer too.
    UniqueLocal buffer(::LocalAlloc(LMEM_FIXED, wanted + 1));
    if (!buffer)
        return false;
    DWORD have = 0;
    while (have < wanted)
    {
        DWORD got = 0;
        if (!::ReadFile(file, static_cast<BYTE*>(buffer.get()) + have, wanted - have, &got, nullptr) || got == 0)
            return false;
        have += got;
    }
    data_ = std::move(buffer);
    size_ = have;
    return true;
}

bool FileBytes::Assign(const void* data, DWORD size) noexcept
{
    UniqueLocal buffer(::LocalAlloc(LMEM_FIXED, size + 1));
    if (!buffer)
        return false;
    if (size > 0)
        std::memcpy(buffer.get(), data, size);
    data_ = std::move(buffer);
    size_ = size;
    return true;
}

bool ReadFileBytes(const char* path, FileBytes& bytes) noexcept
{
    UniqueFile file(
        ::CreateFileA(path, GENERIC_READ, kShareAllButDelete, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && bytes.ReadFrom(file.get());
}

bool ReadOwnFile(const OwnFolder& folder, const char* name, FileBytes& bytes) noexcept
{
    const UniqueFile file = OpenOwnFile(folder, name, GENERIC_READ);
    return file && bytes.ReadFrom(file.get());
}

ReplacementFile::ReplacementFile(const OwnFolder& folder, const char* name) noexcept
{
    // Unforeseeable enough that nobody has put a link there in advance; CREATE_NEW refuses
    // any entry that is there all the same.
    static volatile LONG counter = 0;
    // No longer than our shortest file name, so that it fits wherever the file does.
    char temporaryName[16];
    const unsigned long unique = (::GetCurrentProcessId() << 16) ^ ::GetTickCount();
    if (!folder.held() || !folder.EntryPath(name, target_) ||
        !FormatPath(temporaryName, sizeof(temporaryName), "~%08lx.%lx", unique,
                    static_cast<unsigned long>(::InterlockedIncrement(&counter)) & 0xFFFu) ||
        !folder.EntryPath(temporaryName, temporary_))
    {
        target_[0] = temporary_[0] = '\0';
    }
}

ReplacementFile::~ReplacementFile()
{
    if (created_)
        ::DeleteFileA(temporary_);
}

bool ReplacementFile::Create(const void* data, DWORD size) noexcept
{
    if (temporary_[0] == '\0' || created_)
        return false;
    UniqueFile file(::CreateFileA(temporary_, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    created_ = true;
    DWORD written = 0;
    return size == 0 || (::WriteFile(file.get(), data, size, &written, nullptr) && written == size);
}

bool ReplacementFile::Commit() noexcept
{
    if (!created_)
        return false;
    // A rename replaces the directory entry: a hard link found there keeps its other
    // names and their content, a link entry goes and its target stays.
    if (!::MoveFileExA(temporary_, target_, MOVEFILE_REPLACE_EXISTING))
        return false;
    created_ = false;
    return true;
}

bool ReplaceOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes) noexcept
{
    ReplacementFile file(folder, name);
    return file.Create(bytes.data(), bytes.size()) && file.Commit();
}

bool WriteProfileStringReplacing(const OwnFolder& folder, const char* fileName, const char* section, const char* key,
                                 const char* value) noexcept
{
    // A file that is absent, or that is not plainly ours (a link), is not read: the new
    // file then holds only this key.
    FileBytes bytes;
    const bool read = ReadOwnFile(folder, fileName, bytes);
    ReplacementFile file(folder, fileName);
    return file.Create(read ? bytes.data() : nullptr, read ? bytes.size() : 0) &&
           ::WritePrivateProfileStringA(section, key, value, file.path()) && file.Commit();
}

bool DeleteOwnEntry(const OwnFolder& folder, const char* name) noexcept
{
    char path[MAX_PATH];
    if (!folder.held() || !folder.EntryPath(name, path))
        return false;
    UniqueFile entry(
        ::CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kEntryFlags, nullptr));
    // The final-path check matters where the flag does not keep the handle on a link entry:
    // Wine opens a Unix symbolic link's target, and deleting through that handle would
    // delete the target.
    if (!entry || !FinalPathIs(entry.get(), folder.finalPath(), name))
        return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return ::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

} // namespace uiext2
