// Our folders and files inside the common documents folder, used without following a link.
//
// Every local user may create entries there: a junction or symbolic link in place of one of
// our folders, or a hard link in place of one of our files, would make plain path-based
// calls read, write or delete someone else's files. So a folder is used only once a handle
// opened on the entry itself (FILE_FLAG_OPEN_REPARSE_POINT) shows a plain directory whose
// final path is the one we composed, and that handle is held without FILE_SHARE_DELETE for
// as long as the folder is used, so nobody can rename or remove it and put a link in its
// place meanwhile. Files are replaced (a new file under a temporary name, then renamed over
// the entry) rather than written through whatever an entry points at, and entries are
// deleted through handles on the entries themselves.
#pragma once

#include <windows.h>

#include "support/unique.h"

#include <cstdint>

namespace uiext2
{

// A folder of ours, held open while it is used.
class OwnFolder
{
public:
    // The root our folders live under: the common documents folder, which belongs to the
    // system and which users cannot replace.
    bool OpenRoot(const char* path) noexcept;

    // `name` (one path component) under `parent`, made first when `create` is set. False,
    // with the folder not held, when the entry is not a plain folder where we expect it: a
    // symbolic link, a junction or another reparse point, a file, or a folder whose final
    // path is not the composed one. With `create`, a junction or symbolic link found there
    // is removed first (the link itself, never its target) and the real folder made; where
    // the platform does not show the link itself (Wine), it stays and the folder is done
    // without.
    bool Open(const OwnFolder& parent, const char* name, bool create) noexcept;

    bool held() const noexcept { return static_cast<bool>(handle_); }
    const char* path() const noexcept { return path_; }
    const char* finalPath() const noexcept { return final_; }

    // "<path>\<name>"; false when it would not fit.
    bool EntryPath(const char* name, char (&out)[MAX_PATH]) const noexcept;

    // Removes the folder itself (opened under `parent`, as it was), through a handle, when it
    // is empty; lets go of it either way.
    void RemoveIfEmpty(const OwnFolder& parent) noexcept;

    void Close() noexcept { handle_.reset(); }

private:
    bool Hold(const OwnFolder& parent, const char* name, DWORD access) noexcept;

    UniqueFile handle_;
    char path_[MAX_PATH] = {};
    char final_[MAX_PATH + 8] = {}; // with the platform's "\\?\" prefix
};

// The whole content of a small file.
class FileBytes
{
public:
    const BYTE* data() const noexcept { return static_cast<const BYTE*>(data_.get()); }
    DWORD size() const noexcept { return size_; }
    // FNV-1a over size and content: tells a changed copy from the one we wrote.
    std::uint64_t Fingerprint() const noexcept;

    // Reads what `file` holds from its start; false for files above 16 MiB.
    bool ReadFrom(HANDLE file) noexcept;
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
// link (one name only), and truly in that folder.
bool ReadOwnFile(const OwnFolder& folder, const char* name, FileBytes& bytes) noexcept;

// A new file for `name` in `folder`: written under a temporary name in the same folder and
// renamed over the entry by Commit, which replaces the entry itself, never the file that a
// hard link or link entry found there leads to. Not committed, it is deleted.
class ReplacementFile
{
public:
    ReplacementFile(const OwnFolder& folder, const char* name) noexcept;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file (it must not exist yet) holding `size` bytes of `data`.
    bool Create(const void* data, DWORD size) noexcept;
    // The temporary file, for private-profile writes before it is put in place.
    const char* path() const noexcept { return temporary_; }
    bool Commit() noexcept;

private:
    char target_[MAX_PATH] = {};
    char temporary_[MAX_PATH] = {};
    bool created_ = false;
};

// Replaces `name` in `folder` with `bytes`; true when the new file is in place.
bool ReplaceOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes) noexcept;

// Writes one private-profile key into a copy of `fileName` in `folder` and puts the copy in
// place (see ReplacementFile). False when the key is not in place.
bool WriteProfileStringReplacing(const OwnFolder& folder, const char* fileName, const char* section, const char* key,
                                 const char* value) noexcept;

// Deletes the entry `name` of `folder` through a handle on the entry itself: a link entry is
// removed, never what it leads to.
bool DeleteOwnEntry(const OwnFolder& folder, const char* name) noexcept;

} // namespace uiext2
