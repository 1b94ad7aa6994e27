// Link-safe use of our folders and files in the common documents folder, every step relative
// to a held folder handle.
#include "device/safe_folder.h"

#include "com/trace_events.h"
#include "device/path_rules.h"
#include "platform/nt_file.h"

#include <aclapi.h>

#include <cstring>
#include <cwchar>

namespace uiext2
{

namespace
{

constexpr DWORD kMaxFileBytes = 16u * 1024u * 1024u;
constexpr ULONG kShareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Listing and traversal take part in sharing checks (a handle asking for attributes alone
// does not, on Windows as under Wine); without FILE_SHARE_DELETE in the hold's sharing,
// nobody can rename or delete the folder while it is held.
constexpr ACCESS_MASK kHoldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kNotPlainFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
// What a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Our names are ANSI text in the system code page, as the file functions read them.
bool Wide(const char* text, wchar_t (&out)[MAX_PATH]) noexcept
{
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, MAX_PATH) > 0;
}

// Opens `name` (one component) relative to the held folder `root`, on the entry itself: with
// FILE_OPEN_REPARSE_POINT a link entry is opened as the link, on Windows. The NTSTATUS.
NTSTATUS OpenRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, UniqueFile& out) noexcept
{
    UNICODE_STRING text;
    ::RtlInitUnicodeString(&text, name);
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status =
        ::NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                       options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (NT_SUCCESS(status))
        out.reset(handle);
    return status;
}

DWORD ErrorOf(NTSTATUS status) noexcept
{
    if (NT_SUCCESS(status))
        return ERROR_SUCCESS;
    // A folder where a file belongs, or a file where a folder does, is no entry of ours.
    if (status == kStatusFileIsADirectory || status == kStatusNotADirectory)
        return kErrorNotOurs;
    return ::RtlNtStatusToDosError(status);
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

// "<folder>\<name>" within the volume; false when it would not fit.
bool JoinName(const wchar_t* folder, const wchar_t* name, wchar_t (&out)[MAX_PATH]) noexcept
{
    const size_t length = std::wcslen(folder);
    const wchar_t* separator = length > 0 && folder[length - 1] == L'\\' ? L"" : L"\\";
    const int written = std::swprintf(out, MAX_PATH, L"%ls%ls%ls", folder, separator, name);
    return written > 0 && written < MAX_PATH;
}

// True when the file system names the handle's file `expected` within its volume. On
// Windows, opening relative to the held folder with FILE_OPEN_REPARSE_POINT already gives
// the entry itself; Wine opens a Unix symbolic link's target even so, with the target's plain
// attributes, and only the name the handle holds (the target's) tells it apart.
bool NameIs(HANDLE handle, const wchar_t* expected) noexcept
{
    struct
    {
        FILE_NAME_INFO info;
        wchar_t rest[MAX_PATH];
    } name = {};
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof(name)))
        return false;
    return ::CompareStringOrdinal(name.info.FileName, static_cast<int>(name.info.FileNameLength / sizeof(wchar_t)),
                                  expected, -1, TRUE) == CSTR_EQUAL;
}

// A file of ours in `folder`, opened on the entry relative to the folder's handle and
// checked to be a plain file with one name, in that folder.
DWORD OpenOwnFile(const OwnFolder& folder, const char* name, ACCESS_MASK access, ULONG share, UniqueFile& out) noexcept
{
    wchar_t wide[MAX_PATH];
    wchar_t full[MAX_PATH];
    if (!folder.held() || !Wide(name, wide) || !JoinName(folder.volumeName(), wide, full))
        return ERROR_INVALID_NAME;
    UniqueFile file;
    const DWORD error =
        ErrorOf(OpenRelative(folder.handle(), wide, access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, file));
    if (error != ERROR_SUCCESS)
        return trace::OpenRefused(error, full, false);
    // The standard record, not GetFileInformationByHandle: that one also asks for the
    // volume's serial number, which Wine finds only by looking the mount point up.
    FILE_STANDARD_INFO standard = {};
    if (!AttributesFit(file.get(), 0, kNotPlainFile) ||
        !::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof(standard)) ||
        standard.NumberOfLinks != 1 || standard.Directory || !NameIs(file.get(), full))
        return trace::FileNotOurs(file.get(), full);
    out = std::move(file);
    return ERROR_SUCCESS;
}

bool Dispose(HANDLE handle) noexcept
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// Deletes a junction or symbolic link found where one of our folders belongs: the link
// itself, through a handle opened on it, never its target. Any other entry stays. Wine
// shows a Unix symbolic link's handle as a plain folder, so there it is never removed (and
// the folder is then done without).
bool RemoveFolderLink(HANDLE parent, const wchar_t* name) noexcept
{
    UniqueFile link;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return NT_SUCCESS(OpenRelative(parent, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, link)) &&
           ::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag.ReparseTag) &&
           Dispose(link.get());
}

// Gives `to` the access control list of `from` (protected or inheriting, as it was) and,
// where this user may set them, its owner and group.
DWORD CopySecurity(HANDLE from, HANDLE to) noexcept
{
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(from, SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    &owner, &group, &dacl, nullptr, &descriptor);
    const UniqueLocal held(descriptor);
    if (error != ERROR_SUCCESS)
        return error;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision))
        return ::GetLastError();
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    error = ::SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    // Another owner than oneself needs the restore privilege: without it the new file stays
    // this user's, with the old file's access list.
    ::SetSecurityInfo(to, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner, group,
                      nullptr, nullptr);
    return ERROR_SUCCESS;
}

bool SetAttributes(HANDLE file, DWORD attributes) noexcept
{
    FILE_BASIC_INFO basic = {}; // zero times: left as they are
    basic.FileAttributes = attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

} // namespace

bool OwnFolder::OpenRoot(const char* path) noexcept
{
    handle_.reset();
    if (!FormatPath(path_, sizeof(path_), "%s", path))
        return false;
    // The system's folder: shared fully, since it is not ours to hold.
    handle_.reset(
        ::CreateFileA(path_, kHoldAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    struct
    {
        FILE_NAME_INFO info;
        wchar_t rest[MAX_PATH];
    } name = {};
    const DWORD length = name.info.FileNameLength / sizeof(wchar_t);
    if (!handle_ || !::GetFileInformationByHandleEx(handle_.get(), FileNameInfo, &name, sizeof(name)) ||
        name.info.FileNameLength / sizeof(wchar_t) >= MAX_PATH)
    {
        handle_.reset();
        return false;
    }
    (void)length;
    std::wmemcpy(volumeName_, name.info.FileName, name.info.FileNameLength / sizeof(wchar_t));
    volumeName_[name.info.FileNameLength / sizeof(wchar_t)] = L'\0';
    return true;
}

DWORD OwnFolder::Hold(const OwnFolder& parent, const char* name, ULONG disposition, ACCESS_MASK access) noexcept
{
    wchar_t wide[MAX_PATH];
    wchar_t full[MAX_PATH];
    if (!Wide(name, wide) || !JoinName(parent.volumeName(), wide, full))
        return ERROR_INVALID_NAME;
    UniqueFile handle;
    const DWORD error = ErrorOf(
        OpenRelative(parent.handle(), wide, access, kShareAllButDelete, disposition, FILE_DIRECTORY_FILE, handle));
    if (error != ERROR_SUCCESS)
        return trace::OpenRefused(error, full, true);
    if (!AttributesFit(handle.get(), FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_REPARSE_POINT) ||
        !NameIs(handle.get(), full))
        return trace::FolderNotOurs(handle.get(), full);
    std::wmemcpy(volumeName_, full, MAX_PATH);
    handle_ = std::move(handle);
    return ERROR_SUCCESS;
}

bool OwnFolder::Open(const OwnFolder& parent, const char* name, bool create) noexcept
{
    handle_.reset();
    if (!parent.held() || !parent.EntryPath(name, path_) || !FormatPath(name_, sizeof(name_), "%s", name))
        return false;
    const ULONG disposition = create ? FILE_OPEN_IF : FILE_OPEN;
    if (Hold(parent, name, disposition, kHoldAccess) == ERROR_SUCCESS)
        return true;
    wchar_t wide[MAX_PATH];
    return create && Wide(name, wide) && RemoveFolderLink(parent.handle(), wide) &&
           Hold(parent, name, disposition, kHoldAccess) == ERROR_SUCCESS;
}

bool OwnFolder::EntryPath(const char* name, char (&out)[MAX_PATH]) const noexcept
{
    return FormatPath(out, sizeof(out), "%s\\%s", path_, name);
}

void OwnFolder::RemoveIfEmpty(const OwnFolder& parent) noexcept
{
    if (!handle_ || !parent.held())
        return;
    // Held without the right to delete, so that others' searches of the folder (which do
    // not all share deletion) still open it: let go, then take it again with that right,
    // relative to the parent's handle and checked as before.
    handle_.reset();
    if (Hold(parent, name_, FILE_OPEN, DELETE | kHoldAccess) != ERROR_SUCCESS)
        return;
    // Marks the folder we verified. A folder with entries refuses (ERROR_DIR_NOT_EMPTY) and stays.
    Dispose(handle_.get());
    handle_.reset();
}

DWORD FileBytes::ReadFrom(HANDLE file) noexcept
{
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size))
        return ::GetLastError();
    if (size.QuadPart > kMaxFileBytes)
        return ERROR_FILE_TOO_LARGE;
    const DWORD wanted = static_cast<DWORD>(size.QuadPart);
    // One byte at least, so that an empty file has a buffer too.
    UniqueLocal buffer(::LocalAlloc(LMEM_FIXED, wanted + 1));
    if (!buffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD have = 0;
    while (have < wanted)
    {
        DWORD got = 0;
        if (!::ReadFile(file, static_cast<BYTE*>(buffer.get()) + have, wanted - have, &got, nullptr))
            return ::GetLastError();
        if (got == 0)
            return ERROR_HANDLE_EOF; // shortened while read
        have += got;
    }
    data_ = std::move(buffer);
    size_ = have;
    return ERROR_SUCCESS;
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
    return file && bytes.ReadFrom(file.get()) == ERROR_SUCCESS;
}

bool ReadOwnFile(const OwnFolder& folder, const char* name, FileBytes& bytes, DWORD* error) noexcept
{
    UniqueFile file;
    DWORD result = OpenOwnFile(folder, name, GENERIC_READ, kShareAllButDelete, file);
    if (result == ERROR_SUCCESS)
        result = bytes.ReadFrom(file.get());
    if (error)
        *error = result;
    return result == ERROR_SUCCESS;
}

ReplacementFile::ReplacementFile(const OwnFolder& folder, const char* name) noexcept
{
    if (folder.held() && Wide(name, target_))
        folder_ = folder.handle();
}

ReplacementFile::~ReplacementFile()
{
    if (file_)
        Dispose(file_.get());
}

DWORD ReplacementFile::Create(const void* data, DWORD size, HANDLE like) noexcept
{
    if (!folder_ || file_)
        return ERROR_INVALID_FUNCTION;
    // Unforeseeable enough that nobody has put an entry there in advance; FILE_CREATE
    // refuses any entry that is there all the same.
    static volatile LONG counter = 0;
    wchar_t temporary[24];
    const unsigned long unique = (::GetCurrentProcessId() << 16) ^ ::GetTickCount();
    std::swprintf(temporary, 24, L"~%08lx.%lx", unique,
                  static_cast<unsigned long>(::InterlockedIncrement(&counter)) & 0xFFFu);
    // Unshared: nobody else opens, renames or deletes it while we hold it.
    const DWORD error = ErrorOf(OpenRelative(
        folder_, temporary, GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, 0,
        FILE_CREATE, FILE_NON_DIRECTORY_FILE, file_));
    if (error != ERROR_SUCCESS)
        return error;
    DWORD written = 0;
    if (size != 0 && (!::WriteFile(file_.get(), data, size, &written, nullptr) || written != size))
        return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_WRITE_FAULT;
    if (!like)
        return ERROR_SUCCESS;
    FILE_BASIC_INFO basic = {};
    if (!::GetFileInformationByHandleEx(like, FileBasicInfo, &basic, sizeof(basic)))
        return ::GetLastError();
    attributes_ = basic.FileAttributes & kKeptAttributes;
    return CopySecurity(like, file_.get());
}

DWORD ReplacementFile::Commit(bool replace) noexcept
{
    if (!file_)
        return ERROR_INVALID_FUNCTION;
    // On the disk before its name is: a power cut after the rename finds the content too.
    if (!::FlushFileBuffers(file_.get()))
        return ::GetLastError();
    if (attributes_ != 0 && !SetAttributes(file_.get(), attributes_))
        return ::GetLastError();
    struct
    {
        NtRenameInformation info;
        wchar_t rest[MAX_PATH];
    } rename = {};
    rename.info.ReplaceIfExists = replace ? TRUE : FALSE;
    rename.info.RootDirectory = folder_;
    rename.info.FileNameLength = static_cast<ULONG>(std::wcslen(target_) * sizeof(wchar_t));
    std::wmemcpy(rename.info.FileName, target_, std::wcslen(target_));
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status = ::NtSetInformationFile(file_.get(), &io, &rename, sizeof(rename),
                                                   static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
    if (!NT_SUCCESS(status))
    {
        if (attributes_ != 0)
            SetAttributes(file_.get(), FILE_ATTRIBUTE_NORMAL); // a read-only file cannot be deleted
        return ErrorOf(status);
    }
    file_.reset();
    return ERROR_SUCCESS;
}

bool ReplaceOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes, DWORD* error) noexcept
{
    // The file replaced, when it is ours, for its security and attributes. Asking for
    // DELETE fails at once while someone holds it without sharing deletion, which would make
    // the rename fail too.
    UniqueFile old;
    DWORD result = OpenOwnFile(folder, name, READ_CONTROL | FILE_READ_ATTRIBUTES | DELETE, kShareAllButDelete, old);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == kErrorNotOurs)
    {
        ReplacementFile file(folder, name);
        result = file.Create(bytes.data(), bytes.size(), old ? old.get() : nullptr);
        old.reset(); // an open file cannot be replaced on Windows, even by its own opener
        if (result == ERROR_SUCCESS)
            result = file.Commit(true);
    }
    if (error)
        *error = result;
    return result == ERROR_SUCCESS;
}

DWORD PlaceNewOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes) noexcept
{
    ReplacementFile file(folder, name);
    const DWORD error = file.Create(bytes.data(), bytes.size());
    return error == ERROR_SUCCESS ? file.Commit(false) : error;
}

ProfileEdit::~ProfileEdit()
{
    if (copy_[0])
        ::DeleteFileA(copy_);
}

DWORD ProfileEdit::Begin(const OwnFolder& folder, const char* fileName, const FileBytes* start) noexcept
{
    if (folder_)
        return ERROR_INVALID_FUNCTION;
    FileBytes bytes;
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (!start && !ReadOwnFile(folder, fileName, bytes, &error) && error != ERROR_FILE_NOT_FOUND)
        return error; // an existing file we cannot read must not be replaced by a partial one
    const FileBytes& content = start ? *start : bytes;
    // This user's own temporary folder: other users cannot write there, and CREATE_NEW takes
    // only a name nobody has.
    char temporaryFolder[MAX_PATH];
    const DWORD length = ::GetTempPathA(MAX_PATH, temporaryFolder);
    if (length == 0 || length >= MAX_PATH)
        return ERROR_PATH_NOT_FOUND;
    static volatile LONG counter = 0;
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        char path[MAX_PATH];
        if (!FormatPath(path, sizeof(path), "%sue2%05lx%03lx.ini", temporaryFolder, ::GetCurrentProcessId() & 0xFFFFFul,
                        static_cast<unsigned long>(::InterlockedIncrement(&counter)) & 0xFFFul))
            return ERROR_BUFFER_OVERFLOW;
        UniqueFile copy(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!copy)
        {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return ::GetLastError();
        }
        std::memcpy(copy_, path, sizeof(path));
        DWORD written = 0;
        if (content.size() != 0 &&
            (!::WriteFile(copy.get(), content.data(), content.size(), &written, nullptr) || written != content.size()))
            return ERROR_WRITE_FAULT;
        folder_ = &folder;
        fileName_ = fileName;
        replace_ = error == ERROR_SUCCESS;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_EXISTS;
}

DWORD ProfileEdit::Commit() noexcept
{
    if (!folder_)
        return ERROR_INVALID_FUNCTION;
    FileBytes bytes;
    if (!ReadFileBytes(copy_, bytes))
        return ERROR_READ_FAULT;
    if (!replace_)
        return PlaceNewOwnFile(*folder_, fileName_, bytes);
    DWORD error = ERROR_SUCCESS;
    ReplaceOwnFile(*folder_, fileName_, bytes, &error);
    return error;
}

bool OwnEntryExists(const OwnFolder& folder, const char* name) noexcept
{
    wchar_t wide[MAX_PATH];
    UniqueFile entry;
    if (!folder.held() || !Wide(name, wide))
        return true;
    const NTSTATUS status = OpenRelative(folder.handle(), wide, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, entry);
    const DWORD error = ErrorOf(status);
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

DWORD WriteProfileStringReplacing(const OwnFolder& folder, const char* fileName, const char* section, const char* key,
                                  const char* value) noexcept
{
    ProfileEdit edit;
    DWORD error = edit.Begin(folder, fileName);
    if (error != ERROR_SUCCESS)
        return error;
    if (!::WritePrivateProfileStringA(section, key, value, edit.path()))
        return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_WRITE_FAULT;
    return edit.Commit();
}

bool DeleteOwnEntry(const OwnFolder& folder, const char* name) noexcept
{
    wchar_t wide[MAX_PATH];
    wchar_t full[MAX_PATH];
    UniqueFile entry;
    // The name check matters where the flag does not keep the handle on a link entry: Wine
    // opens a Unix symbolic link's target, and deleting through that handle would delete
    // the target.
    return folder.held() && Wide(name, wide) && JoinName(folder.volumeName(), wide, full) &&
           NT_SUCCESS(
               OpenRelative(folder.handle(), wide, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, entry)) &&
           trace::NameHeld(NameIs(entry.get(), full), full) && Dispose(entry.get());
}

} // namespace uiext2
