// Our folders and files inside the common documents folder, used without following a link.
//
// Every local user may create entries there: a junction or symbolic link in place of one of
// our folders, or a hard link in place of one of our files, would make path-based calls
// read, write or delete someone else's files. So each folder is opened once, on the entry
// itself, relative to its parent's handle, checked to be a plain folder, and that handle is
// held from the check to the folder's last use. The hold asks to list and traverse the
// folder, so it takes part in sharing checks, and it does not share deletion: while it is
// held nobody can rename or remove the folder and put a link in its place. Every later step
// inside the folder goes through the held handle: files are opened and created relative to
// it, a new file's content is written through the handle that created it, renamed into place
// relative to the folder, and entries are deleted through handles on the entries themselves.
#pragma once

#include <windows.h>

#include "support/unique.h"


namespace uiext2
{

// The error of an existing entry that is not a file of ours: a link of any kind, a file
// with a second name (hard link), or one that is not where its folder is.
constexpr DWORD kErrorNotOurs = ERROR_BAD_FILE_TYPE;

// A folder of ours, held open while it is used.
class OwnFolder
{
public:
    // The root our folders live under: the common documents folder, which belongs to the
    // system and which users cannot replace.
    bool OpenRoot(const char* path) noexcept;

    // `name` (one path component) under `parent`, opened relative to the parent's handle and
    // made first when `create` is set. False, with the folder not held, when the entry is not
    // a plain folder where we expect it: a symbolic link, a junction or another reparse
    // point, a file, or a folder that is not the parent's entry of that name. With `create`,
    // a junction or symbolic link found there is removed first (the link itself, never its
    // target) and the real folder made; where the platform does not show the link itself
    // (Wine), it stays and the folder is done without.
    bool Open(const OwnFolder& parent, const char* name, bool create) noexcept;

    bool held() const noexcept { return static_cast<bool>(handle_); }
    HANDLE handle() const noexcept { return handle_.get(); }
    const char* path() const noexcept { return path_; }

    // "<path>\<name>"; false when it would not fit. For showing and handing over only:
    // nothing in our folders is opened by such a path.
    bool EntryPath(const char* name, char (&out)[MAX_PATH]) const noexcept;

    // Removes the folder itself (opened under `parent`, as it was), through a handle, when it
    // is empty; lets go of it either way.
    void RemoveIfEmpty(const OwnFolder& parent) noexcept;

    void Close() noexcept { handle_.reset(); }

    // The folder's name within its volume ("\users\Public\Documents\..."), as the file system
    // gives it for the handle; what an entry's own name must continue.
    const wchar_t* volumeName() const noexcept { return volumeName_; }

private:
    DWORD Hold(const OwnFolder& parent, const char* name, ULONG disposition, ACCESS_MASK access) noexcept;

    UniqueFile handle_;
    char path_[MAX_PATH] = {};
    char name_[MAX_PATH] = {}; // the last component, for RemoveIfEmpty
    wchar_t volumeName_[MAX_PATH] = {};
};

// The whole content of a small file.
class FileBytes
{
public:
    const BYTE* data() const noexcept { return static_cast<const BYTE*>(data_.get()); }
    DWORD size() const noexcept { return size_; }

    // Reads what `file` holds from its start. ERROR_FILE_TOO_LARGE above 16 MiB,
    // ERROR_NOT_ENOUGH_MEMORY, or the read's error; ERROR_SUCCESS when read.
    DWORD ReadFrom(HANDLE file) noexcept;
    // Holds a copy of `size` bytes of `data`; false, holding nothing new, when out of memory.
    bool Assign(const void* data, DWORD size) noexcept;

private:
    UniqueLocal data_;
    DWORD size_ = 0;
};

// Reads any file by its path (the driver package's templates, in a folder only
// administrators can write).
bool ReadFileBytes(const char* path, FileBytes& bytes) noexcept;

// Reads `name` in `folder` when it is a file of ours: not a link of any kind, not a hard
// link (one name only), and truly in that folder. On failure `error` (when given) says why:
// ERROR_FILE_NOT_FOUND only when there is no such entry, kErrorNotOurs,
// ERROR_SHARING_VIOLATION, ERROR_FILE_TOO_LARGE, ERROR_NOT_ENOUGH_MEMORY or the platform's.
bool ReadOwnFile(const OwnFolder& folder, const char* name, FileBytes& bytes, DWORD* error = nullptr) noexcept;

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

    // Creates the temporary file holding `size` bytes of `data`. When `like` is given (the
    // file this one replaces, opened with READ_CONTROL and FILE_READ_ATTRIBUTES), the new
    // file takes its access control and attributes. ERROR_SUCCESS or the error.
    DWORD Create(const void* data, DWORD size, HANDLE like = nullptr) noexcept;
    // Flushes the content and renames the file into place: over an existing entry when
    // `replace` is set, else only where no entry of that name exists (ERROR_ALREADY_EXISTS).
    DWORD Commit(bool replace = true) noexcept;

private:
    HANDLE folder_ = nullptr; // held by the OwnFolder, which outlives this
    wchar_t target_[MAX_PATH] = {};
    UniqueFile file_;
    DWORD attributes_ = 0; // to set just before the rename (a read-only file takes no writes)
};

// Replaces `name` in `folder` with `bytes`; true when the new file is in place. A file of
// ours found there gives the new one its access control and attributes; one held open
// without shared deletion fails at once with ERROR_SHARING_VIOLATION, before anything is
// written. `error` (when given) says why it failed.
bool ReplaceOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes, DWORD* error = nullptr) noexcept;

// Puts `bytes` in place as `name` only where no entry of that name exists yet: a rename
// that replaces nothing. ERROR_ALREADY_EXISTS when one does.
DWORD PlaceNewOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes) noexcept;

// A private-profile edit of `fileName` in `folder`. The private-profile functions need a
// path: they write a copy in this user's own temporary folder, created there exclusively,
// and Commit puts the copy's bytes in place through the folder's handle. A file that
// exists but cannot be read as ours is never replaced: Begin then fails. Only an absent
// file starts empty (or as `start`), and its copy is then put in place only where no file
// of that name has appeared meanwhile.
class ProfileEdit
{
public:
    ProfileEdit() = default;
    ~ProfileEdit();
    ProfileEdit(const ProfileEdit&) = delete;
    ProfileEdit& operator=(const ProfileEdit&) = delete;

    // Reads the file and makes the copy; with `start`, the copy holds those bytes and is put
    // in place only where no file of that name exists. ERROR_SUCCESS or why not (see
    // ReadOwnFile).
    DWORD Begin(const OwnFolder& folder, const char* fileName, const FileBytes* start = nullptr) noexcept;
    // The copy, for the private-profile writes; null before a successful Begin.
    const char* path() const noexcept { return folder_ ? copy_ : nullptr; }
    // Puts the copy in place: over the file read by Begin, or where none exists
    // (ERROR_ALREADY_EXISTS when one has appeared since).
    DWORD Commit() noexcept;

private:
    const OwnFolder* folder_ = nullptr;
    const char* fileName_ = nullptr;
    bool replace_ = false;
    char copy_[MAX_PATH] = {};
};

// Whether `folder` has an entry `name`: false only when the file system says there is none
// (an entry held unshared, or one we may not open, exists).
bool OwnEntryExists(const OwnFolder& folder, const char* name) noexcept;

// Writes one private-profile key into `fileName` in `folder` (see ProfileEdit).
// ERROR_SUCCESS once the key is in place.
DWORD WriteProfileStringReplacing(const OwnFolder& folder, const char* fileName, const char* section, const char* key,
                                  const char* value) noexcept;

// Deletes the entry `name` of `folder` through a handle on the entry itself: a link entry is
// removed, never what it leads to.
bool DeleteOwnEntry(const OwnFolder& folder, const char* name) noexcept;

} // namespace uiext2
