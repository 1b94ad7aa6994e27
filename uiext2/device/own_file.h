// Files of ours inside a held folder: opened on the entry itself relative to the folder's
// handle, checked to be a plain file with one name in that folder, and read whole.
#pragma once

#include <windows.h>

#include "device/entry_access.h"
#include "device/held_folder.h"
#include "support/unique.h"

#include <string_view>

namespace uiext2
{

// The whole content of a small file.
class FileBytes
{
public:
    const BYTE* data() const noexcept { return static_cast<const BYTE*>(data_.get()); }
    DWORD size() const noexcept { return size_; }
    // The bytes as the ANSI text the INI model reads.
    std::string_view text() const noexcept { return {reinterpret_cast<const char*>(data()), size_}; }

    // Reads what `file` holds from its start. ERROR_FILE_TOO_LARGE above 16 MiB,
    // ERROR_NOT_ENOUGH_MEMORY, or the read's error; ERROR_SUCCESS when read.
    DWORD ReadFrom(HANDLE file) noexcept;
    // Holds a copy of `size` bytes of `data`; false, holding nothing new, when out of memory.
    bool Assign(const void* data, DWORD size) noexcept;

private:
    UniqueLocal data_;
    DWORD size_ = 0;
};

// Which file a name led to, and in which state: its number in the volume, its last change
// and its size. A writer that rewrote the file in place, or put another in its place, changes it.
struct FileIdentity
{
    ULONGLONG number = 0;
    LONGLONG changed = 0;
    LONGLONG written = 0;
    LONGLONG size = 0;

    bool operator==(const FileIdentity& other) const noexcept
    {
        return number == other.number && changed == other.changed && written == other.written && size == other.size;
    }
    bool operator!=(const FileIdentity& other) const noexcept { return !(*this == other); }
};

// Reads any file by its path (the driver package's templates, in a folder only
// administrators can write).
bool ReadFileBytes(const char* path, FileBytes& bytes) noexcept;

// Opens `name` in `folder` when it is a file of ours: not a link, not a hard link (one name
// only), and truly that entry of the folder. A reparse point that is not a link (a
// deduplicated or cloud file) is opened through its file system filter, so that its data is
// read. ERROR_SUCCESS; ERROR_FILE_NOT_FOUND only when there is no such entry; kErrorNotOurs;
// or the platform's error (ERROR_SHARING_VIOLATION while another writer holds it).
DWORD OpenOwnFile(const OwnFolder& folder, const char* name, ACCESS_MASK access, ULONG share, UniqueFile& out,
                  FileIdentity* identity = nullptr) noexcept;

// Reads `name` in `folder` (see OpenOwnFile), denying writes while it reads, so that a
// writer's half-done work is never taken for the file. On failure `error` (when given) says
// why, as OpenOwnFile does, or ERROR_FILE_TOO_LARGE, ERROR_NOT_ENOUGH_MEMORY.
bool ReadOwnFile(const OwnFolder& folder, const char* name, FileBytes& bytes, DWORD* error = nullptr,
                 FileIdentity* identity = nullptr) noexcept;

// The identity of the file `name` now leads to (see OpenOwnFile). ERROR_FILE_NOT_FOUND
// when there is none.
DWORD IdentityOf(const OwnFolder& folder, const char* name, FileIdentity& identity) noexcept;

// Whether `folder` has an entry `name`: false only when the file system says there is none
// (an entry held unshared, or one we may not open, exists).
bool OwnEntryExists(const OwnFolder& folder, const char* name) noexcept;

// Deletes the file `name` of `folder` through a handle on the entry itself: a link entry is
// removed, never what it leads to. ERROR_SUCCESS once it is gone (or was not there).
DWORD DeleteOwnEntry(const OwnFolder& folder, const char* name) noexcept;

} // namespace uiext2
