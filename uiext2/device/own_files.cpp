// Files of ours in a held folder: opened on the entry itself and checked to be ours, read
// whole, and deleted through the held handle.
#include "device/own_folder.h"

#include <cstring>
#include <cwchar>

namespace uiext2
{

namespace
{

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Readers share with readers, and with a replacement's rename, not with writers.
constexpr ULONG kShareDenyingWrites = FILE_SHARE_READ | FILE_SHARE_DELETE;
constexpr DWORD kMaxFileBytes = 16u * 1024u * 1024u;

DWORD IdentityFrom(HANDLE file, FileIdentity& identity) noexcept
{
    FILE_BASIC_INFO basic = {};
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)))
        return ::GetLastError();
    identity.number = OwnFolder::FileNumber(file);
    identity.changed = basic.ChangeTime.QuadPart;
    identity.written = basic.LastWriteTime.QuadPart;
    identity.size = standard.EndOfFile.QuadPart;
    return ERROR_SUCCESS;
}

} // namespace

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
    UniqueFile file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && bytes.ReadFrom(file.get()) == ERROR_SUCCESS;
}

DWORD OwnFolder::OpenWide(const wchar_t* name, ACCESS_MASK access, ULONG share, UniqueFile& out,
                          FileIdentity* identity) const noexcept
{
    access |= FILE_READ_ATTRIBUTES;
    UniqueFile file;
    DWORD error = OpenEntry(name, access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, file);
    if (error == kErrorNotOurs)
        return Refuse("folder", name);
    if (error != ERROR_SUCCESS)
        return error;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof(tag)))
        return Refuse("attributes", name, ::GetLastError());
    if (IsLink(tag))
        return Refuse("link", name);
    if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Refuse("folder", name);
    if (tag.FileAttributes & FILE_ATTRIBUTE_DEVICE)
        return Refuse("file", name);
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    {
        // Opened as the reparse point, the filter that keeps its data is passed by: open it
        // again through the filter, and make sure that is the same file.
        const ULONGLONG number = FileNumber(file.get());
        UniqueFile served;
        error = OpenEntry(name, access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, served, 0);
        if (error != ERROR_SUCCESS)
            return error;
        if (number == 0 || FileNumber(served.get()) != number)
            return Refuse("name", name);
        file = std::move(served);
    }
    // The standard record, not GetFileInformationByHandle: that one also asks for the
    // volume's serial number, which Wine finds only by looking the mount point up.
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof(standard)))
        return Refuse("attributes", name, ::GetLastError());
    if (standard.Directory)
        return Refuse("folder", name);
    if (standard.NumberOfLinks != 1)
        return Refuse("second name", name);
    if (!Proves(file.get(), name, static_cast<ULONG>(std::wcslen(name)), nullptr))
        return Refuse("name", name);
    if (identity && (error = IdentityFrom(file.get(), *identity)) != ERROR_SUCCESS)
        return error;
    out = std::move(file);
    return ERROR_SUCCESS;
}

DWORD OwnFolder::OpenFile(const char* name, ACCESS_MASK access, ULONG share, UniqueFile& out,
                          FileIdentity* identity) const noexcept
{
    wchar_t wide[MAX_PATH];
    if (!held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    return OpenWide(wide, access, share, out, identity);
}

DWORD OwnFolder::Read(const char* name, FileBytes& bytes, FileIdentity* identity) const noexcept
{
    UniqueFile file;
    const DWORD error = OpenFile(name, GENERIC_READ, kShareDenyingWrites, file, identity);
    return error != ERROR_SUCCESS ? error : bytes.ReadFrom(file.get());
}

DWORD OwnFolder::Identity(const char* name, FileIdentity& identity) const noexcept
{
    UniqueFile file;
    return OpenFile(name, 0, kShareAll, file, &identity);
}

bool OwnFolder::Exists(const char* name) const noexcept
{
    wchar_t wide[MAX_PATH];
    UniqueFile entry;
    if (!held() || !WideName(name, wide))
        return true;
    const DWORD error = OpenEntry(wide, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, entry);
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

DWORD OwnFolder::Delete(const char* name) const noexcept
{
    wchar_t wide[MAX_PATH];
    UniqueFile entry;
    if (!held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    const DWORD error =
        OpenEntry(wide, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE, entry);
    if (error == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS)
        return error;
    // The proof matters where the open does not stop at a link entry: Wine opens a Unix
    // symbolic link's target, and deleting through that handle would delete the target.
    if (!Proves(entry.get(), wide, static_cast<ULONG>(std::wcslen(wide)), nullptr))
        return Refuse("name", wide);
    return MarkForDeletion(entry.get()) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD OwnFolder::HoldLock(const char* name, UniqueFile& out) const noexcept
{
    wchar_t wide[MAX_PATH];
    if (!held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        // A file made here and now is ours and no link: the common case, one call.
        DWORD error = OpenEntry(wide, DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                                FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, out);
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return error == ERROR_SHARING_VIOLATION ? ERROR_LOCK_VIOLATION : error;
        // Something stands there: another writer's lock (held unshared), or a file that a
        // lock's holder could not delete, which we may hold as it is.
        error = OpenWide(wide, DELETE, 0, out, nullptr);
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_DELETE_PENDING)
            return ERROR_LOCK_VIOLATION;
        if (error == ERROR_SUCCESS)
            // Classic deletion: a POSIX one would free the name while we hold the lock.
            return SetDeletePending(out.get(), true) ? ERROR_SUCCESS : ::GetLastError();
        if (error != kErrorNotOurs)
            return error;
        // Not a file of ours: a link entry goes as the link; a folder stays and refuses.
        if (Delete(name) != ERROR_SUCCESS)
            return ERROR_LOCK_FAILED;
    }
    return ERROR_LOCK_FAILED;
}

} // namespace uiext2
