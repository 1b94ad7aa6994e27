// The entries of a held folder: listed through the folder's handle, and each deleted through
// a handle on the entry itself, opened relative to the folder by the wide name the listing
// gave, once that handle has shown that it holds the listed entry and not what a link leads
// to. Nothing outside the folder is ever deleted.
#pragma once

#include <windows.h>

#include "support/unique.h"

namespace uiext2
{

// One entry as the folder's listing gives it. `name` points into the listing's buffer and
// holds until the listing's next call.
struct ListedEntry
{
    const wchar_t* name = nullptr; // not terminated
    USHORT nameBytes = 0;
    DWORD attributes = 0;
    LONGLONG fileId = 0; // the file system's number for the file the entry names
};

// Lists a folder held with FILE_LIST_DIRECTORY, from its first entry on.
class FolderListing
{
public:
    explicit FolderListing(HANDLE folder) noexcept;

    // The next entry; false once the listing has ended or failed.
    bool Next(ListedEntry& entry) noexcept;

private:
    HANDLE folder_;
    UniqueLocal buffer_;
    const BYTE* next_ = nullptr; // the next record in the buffer; null: ask for more
    bool restart_ = true;
};

// What shows that a handle opened on a listed entry holds that entry.
enum class EntryProof
{
    // The volume supports reparse points: an open with FILE_OPEN_REPARSE_POINT stops at a
    // link entry and holds the link itself, whose number the listing gave. The handle's file
    // number must be the listed one.
    Identity,
    // It does not: an open follows a link that the platform cannot show, and the listing
    // gives the number of the link's target too (Wine with a Unix symbolic link). Only the
    // name the file system gives the handle, which must be the folder's followed by the
    // listed one, tells the entry from the target.
    Name,
};

// The proof that the volume of `folder` allows.
EntryProof ProofFor(HANDLE folder) noexcept;

// Deletes listed file entries of one held folder.
class EntryDeleter
{
public:
    EntryDeleter(HANDLE folder, EntryProof proof) noexcept;

    // Deletes `entry` when its handle shows it to be the listed entry: a link entry as the
    // link, or not at all, never its target; a folder never. With POSIX semantics where the
    // file system has them, so that an entry someone holds open loses its name at once;
    // elsewhere the name goes when the last handle on it closes. False when not deleted.
    bool Delete(const ListedEntry& entry) noexcept;

private:
    bool Shows(HANDLE file, const ListedEntry& entry) const noexcept;
    bool Dispose(HANDLE file) noexcept;

    HANDLE folder_;
    EntryProof proof_;
    bool posix_ = true; // until the platform refuses POSIX deletion
    // The folder's name within its volume, as the file system gives it for the held handle:
    // what the name of each entry's handle must begin with. Empty: no entry is shown by name.
    wchar_t folderName_[MAX_PATH] = {};
    size_t folderLength_ = 0;
};

} // namespace uiext2
