// A new file put in place of an entry of a held folder, or where there is none.
#pragma once

#include <windows.h>

#include "device/held_folder.h"
#include "support/unique.h"

namespace uiext2
{

// A new file for `name` in `folder`, created under a temporary name relative to the folder's
// handle and kept open, unshared, from its creation until Commit renames it into place
// relative to the same handle: its name cannot be swapped meanwhile. The rename replaces the
// entry itself, never the file that a hard link or link entry found there leads to. Not
// committed, it is deleted through its handle.
class ReplacementFile
{
public:
    ReplacementFile(const OwnFolder& folder, const char* name) noexcept;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file holding `size` bytes of `data`, flushed to the disk. When
    // `like` is given (the file this one replaces, opened with READ_CONTROL and
    // FILE_READ_ATTRIBUTES), the new file takes its attributes, and its access control where
    // that file belongs to this user, the administrators or the system; a file another user
    // put there lends nothing, and the new one inherits from our folder. ERROR_SUCCESS or the
    // error.
    DWORD Create(const void* data, DWORD size, HANDLE like = nullptr) noexcept;

    // Renames the file into place: over an existing entry when `replace` is set, else only
    // where no entry of that name exists (ERROR_ALREADY_EXISTS). Where the file system has
    // them, with POSIX semantics (a file that others hold open, sharing its deletion, is
    // replaced all the same) and ignoring a read-only target; elsewhere the classic rename.
    // ERROR_SHARING_VIOLATION while another program holds the file in place.
    DWORD Commit(bool replace) noexcept;

private:
    bool HeldOpen() const noexcept;

    HANDLE folder_ = nullptr; // held by the OwnFolder, which outlives this
    wchar_t target_[MAX_PATH] = {};
    UniqueFile file_;
    DWORD attributes_ = 0; // to set just before the rename (a read-only file takes no writes)
};

// True when the file's owner is this user, the built-in administrators or the system: a
// file whose access list we may keep.
bool OwnedByUsOrTheSystem(HANDLE file) noexcept;

} // namespace uiext2
