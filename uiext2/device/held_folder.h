// Our folders inside the common documents folder, each held open while it is used.
//
// Every local user may create entries there: a junction or symbolic link in place of one of
// our folders, or a hard link in place of one of our files, would make path-based calls
// read, write or delete someone else's files. So each folder is opened once, on the entry
// itself, relative to its parent's handle, checked to be a plain folder, and that handle is
// held from the check to the folder's last use. The hold asks to list and traverse the
// folder, so it takes part in sharing checks, and it does not share deletion: while it is
// held nobody can rename or remove the folder and put a link in its place. Every later step
// inside the folder goes through the held handle (see own_file.h, replacement_file.h).
#pragma once

#include <windows.h>

#include "support/unique.h"

namespace uiext2
{

// A folder of ours, held open while it is used.
class OwnFolder
{
public:
    // The root our folders live under: the common documents folder, which belongs to the
    // system and which users cannot replace.
    bool OpenRoot(const char* path) noexcept;

    // `name` (one path component) under `parent`, opened relative to the parent's handle and
    // made first when `create` is set. False, with the folder not held, when the entry is not
    // a plain folder where we expect it: a symbolic link, a junction, a file, or a folder
    // that is not the parent's entry of that name. With `create`, a junction or symbolic link
    // found there is removed first (the link itself, never its target) and the real folder
    // made; where the platform does not show the link itself (Wine), it stays and the folder
    // is done without.
    bool Open(const OwnFolder& parent, const char* name, bool create) noexcept;

    bool held() const noexcept { return static_cast<bool>(handle_); }
    HANDLE handle() const noexcept { return handle_.get(); }
    // For showing and handing over only: nothing in our folders is opened by this path.
    const char* path() const noexcept { return path_; }

    // Removes the folder itself (opened under `parent`, as it was), through a handle, when it
    // is empty; lets go of it either way.
    void RemoveIfEmpty(const OwnFolder& parent) noexcept;

    void Close() noexcept { handle_.reset(); }

    // The folder's name within its volume ("\users\Public\Documents\..."), as the file system
    // gives it for the handle; what an entry's own name must continue.
    const wchar_t* volumeName() const noexcept { return volumeName_; }

private:
    DWORD Hold(const OwnFolder& parent, ULONG disposition, ACCESS_MASK access) noexcept;

    UniqueFile handle_;
    char path_[MAX_PATH] = {};
    wchar_t name_[MAX_PATH] = {}; // the last component, for RemoveIfEmpty
    wchar_t volumeName_[MAX_PATH] = {};
};

} // namespace uiext2
