// Our folders, each opened on the entry itself relative to its parent's held handle.
#include "device/held_folder.h"

#include "com/trace_events.h"

#include "device/entry_access.h"
#include "device/path_rules.h"

#include <cwchar>

namespace uiext2
{

namespace
{

constexpr ULONG kShareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Listing and traversal take part in sharing checks (a handle asking for attributes alone
// does not, on Windows as under Wine); without FILE_SHARE_DELETE in the hold's sharing,
// nobody can rename or delete the folder while it is held.
constexpr ACCESS_MASK kHoldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// Deletes a junction or symbolic link found where one of our folders belongs: the link
// itself, through a handle opened on it, never its target. Any other entry stays. Wine
// shows a Unix symbolic link's handle as a plain folder, so there it is never removed (and
// the folder is then done without).
bool RemoveFolderLink(HANDLE parent, const wchar_t* name) noexcept
{
    UniqueFile link;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return NT_SUCCESS(OpenRelative(parent, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, link)) &&
           ::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag, sizeof(tag)) && IsLink(tag) &&
           Dispose(link.get());
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
    if (!handle_ || !HandleName(handle_.get(), volumeName_))
    {
        handle_.reset();
        return false;
    }
    return true;
}

DWORD OwnFolder::Hold(const OwnFolder& parent, ULONG disposition, ACCESS_MASK access) noexcept
{
    UniqueFile handle;
    const DWORD error = ErrorOf(
        OpenRelative(parent.handle(), name_, access, kShareAllButDelete, disposition, FILE_DIRECTORY_FILE, handle));
    if (error != ERROR_SUCCESS)
        return trace::OpenRefused(error, name_, true);
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || IsLink(tag) ||
        !IsEntryItself(parent, name_, handle.get()) || !HandleName(handle.get(), volumeName_))
        return trace::FolderNotOurs(handle.get(), name_);
    handle_ = std::move(handle);
    return ERROR_SUCCESS;
}

bool OwnFolder::Open(const OwnFolder& parent, const char* name, bool create) noexcept
{
    handle_.reset();
    if (!parent.held() || !FormatPath(path_, sizeof(path_), "%s\\%s", parent.path(), name) || !WideName(name, name_))
        return false;
    const ULONG disposition = create ? FILE_OPEN_IF : FILE_OPEN;
    if (Hold(parent, disposition, kHoldAccess) == ERROR_SUCCESS)
        return true;
    return create && RemoveFolderLink(parent.handle(), name_) &&
           Hold(parent, disposition, kHoldAccess) == ERROR_SUCCESS;
}

void OwnFolder::RemoveIfEmpty(const OwnFolder& parent) noexcept
{
    if (!handle_ || !parent.held())
        return;
    // Held without the right to delete, so that others' searches of the folder (which do
    // not all share deletion) still open it: let go, then take it again with that right,
    // relative to the parent's handle and checked as before.
    handle_.reset();
    if (Hold(parent, FILE_OPEN, DELETE | kHoldAccess) != ERROR_SUCCESS)
        return;
    // Marks the folder we verified. A folder with entries refuses (ERROR_DIR_NOT_EMPTY) and stays.
    Dispose(handle_.get());
    handle_.reset();
}

} // namespace uiext2
