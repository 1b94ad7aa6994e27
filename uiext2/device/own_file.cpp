// Files of ours, opened and read relative to a held folder handle.
#include "device/own_file.h"

#include "com/trace_events.h"

#include <cstring>

namespace uiext2
{

namespace
{

constexpr DWORD kMaxFileBytes = 16u * 1024u * 1024u;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Readers share with readers, and with a replacement's rename, not with writers.
constexpr ULONG kShareDenyingWrites = FILE_SHARE_READ | FILE_SHARE_DELETE;

DWORD IdentityFrom(HANDLE file, FileIdentity& identity) noexcept
{
    FILE_BASIC_INFO basic = {};
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)))
        return ::GetLastError();
    identity.number = FileNumber(file);
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

DWORD OpenOwnFile(const OwnFolder& folder, const char* name, ACCESS_MASK access, ULONG share, UniqueFile& out,
                  FileIdentity* identity) noexcept
{
    wchar_t wide[MAX_PATH];
    if (!folder.held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    access |= FILE_READ_ATTRIBUTES;
    UniqueFile file;
    DWORD error = ErrorOf(OpenRelative(folder.handle(), wide, access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, file));
    if (error != ERROR_SUCCESS)
        return trace::OpenRefused(error, wide, false);
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof(tag)) || IsLink(tag) ||
        (tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return trace::FileNotOurs(file.get(), wide);
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    {
        // Opened as the reparse point, the filter that keeps its data is passed by: open it
        // again through the filter, and make sure that is the same file.
        const ULONGLONG number = FileNumber(file.get());
        UniqueFile served;
        error = ErrorOf(
            OpenRelative(folder.handle(), wide, access, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, served, false));
        if (error != ERROR_SUCCESS)
            return error;
        if (number == 0 || FileNumber(served.get()) != number)
            return trace::FileNotOurs(served.get(), wide);
        file = std::move(served);
    }
    // The standard record, not GetFileInformationByHandle: that one also asks for the
    // volume's serial number, which Wine finds only by looking the mount point up.
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof(standard)) ||
        standard.NumberOfLinks != 1 || standard.Directory || !IsEntryItself(folder, wide, file.get()))
        return trace::FileNotOurs(file.get(), wide);
    if (identity && (error = IdentityFrom(file.get(), *identity)) != ERROR_SUCCESS)
        return error;
    out = std::move(file);
    return ERROR_SUCCESS;
}

bool ReadOwnFile(const OwnFolder& folder, const char* name, FileBytes& bytes, DWORD* error,
                 FileIdentity* identity) noexcept
{
    UniqueFile file;
    DWORD result = OpenOwnFile(folder, name, GENERIC_READ, kShareDenyingWrites, file, identity);
    if (result == ERROR_SUCCESS)
        result = bytes.ReadFrom(file.get());
    if (error)
        *error = result;
    return result == ERROR_SUCCESS;
}

DWORD IdentityOf(const OwnFolder& folder, const char* name, FileIdentity& identity) noexcept
{
    UniqueFile file;
    return OpenOwnFile(folder, name, 0, kShareAll, file, &identity);
}

bool OwnEntryExists(const OwnFolder& folder, const char* name) noexcept
{
    wchar_t wide[MAX_PATH];
    UniqueFile entry;
    if (!folder.held() || !WideName(name, wide))
        return true;
    const DWORD error =
        ErrorOf(OpenRelative(folder.handle(), wide, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, entry));
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

DWORD DeleteOwnEntry(const OwnFolder& folder, const char* name) noexcept
{
    wchar_t wide[MAX_PATH];
    UniqueFile entry;
    if (!folder.held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    DWORD error = ErrorOf(OpenRelative(folder.handle(), wide, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                                       FILE_NON_DIRECTORY_FILE, entry));
    if (error == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS)
        return error;
    // The name check matters where the flag does not keep the handle on a link entry: Wine
    // opens a Unix symbolic link's target, and deleting through that handle would delete
    // the target.
    if (!trace::NameHeld(IsEntryItself(folder, wide, entry.get()), wide))
        return kErrorNotOurs;
    return Dispose(entry.get()) ? ERROR_SUCCESS : ::GetLastError();
}

} // namespace uiext2
