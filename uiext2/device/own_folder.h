// Our folders inside the common documents folder, each held open while it is used, and the
// only way to the files in them.
//
// Every local user may create entries there: a junction or symbolic link in place of one of
// our folders, or a hard link in place of one of our files, would make path-based calls
// read, write or delete someone else's files. So each folder is opened once, on the entry
// itself, relative to its parent's handle, checked to be a plain folder, and that handle is
// held from the check to the folder's last use. The hold asks to list and traverse the
// folder, so it takes part in sharing checks, and it does not share deletion: while it is
// held nobody can rename or remove the folder and put a link in its place. Every step inside
// the folder is a member of the folder and goes through the held handle: open, read, list,
// delete, and the one update that puts a new file in place.
#pragma once

#include <windows.h>

#include "support/unique.h"

#include <string>
#include <string_view>

namespace uiext2
{

// The error of an existing entry that is not one of ours: a link of any kind, a file with a
// second name (hard link), or one that is not where its folder is.
constexpr DWORD kErrorNotOurs = ERROR_BAD_FILE_TYPE;

// How long every step in our folders keeps trying while another program holds the entry, or
// another writer of ours holds the device's lock, and how long it waits between tries: a
// reader such as the companion program, a virus scanner or an indexer lets go within moments.
constexpr DWORD kRetryMs = 2000;
constexpr DWORD kRetryPauseMs = 50;

// The errors that pass: a sharing violation (a rename denied by a holder that shares
// deletion is reported as one), a lock held elsewhere, a deletion still pending.
bool IsTransient(DWORD error) noexcept;

// Runs `step` (returning a Win32 error) again while it fails with a transient error, for at
// most `budgetMs`.
template <typename Step> DWORD Retrying(Step step, DWORD budgetMs = kRetryMs) noexcept
{
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        const DWORD error = step();
        const ULONGLONG spent = ::GetTickCount64() - start;
        if (!IsTransient(error) || spent >= budgetMs)
            return error;
        ::Sleep(budgetMs - spent < kRetryPauseMs ? static_cast<DWORD>(budgetMs - spent) : kRetryPauseMs);
    }
}

// Marks `file` (opened with DELETE) for deletion: with POSIX semantics where the file system
// has them, so that its name goes as this handle closes even while others hold the file
// open; elsewhere (before Windows 10 1607, FAT, Wine) the classic way, and from then on for
// the whole process. False, with the error set, when refused.
bool MarkForDeletion(HANDLE file) noexcept;

// Sets or takes back the classic delete disposition of `file` (opened with DELETE): its name
// stays until the last handle closes, and, unlike POSIX deletion, the mark can be cleared.
bool SetDeletePending(HANDLE file, bool pending) noexcept;

// The forms of the rename that puts a file of ours in place, newest first: ignoring a
// read-only target (Windows 10 1809 on), with POSIX semantics (1709 on), the classic rename.
// Each rename starts at the newest and goes on to the next as the platform refuses one.
enum class RenameForm : LONG
{
    IgnoringReadOnly,
    Posix,
    Classic,
};
// Has every later rename in the process start at `newest`: the road of an older platform,
// taken by the tests on a platform that has the newer forms.
void StartRenamesAt(RenameForm newest) noexcept;

// The whole content of a small file.
class FileBytes
{
public:
    const BYTE* data() const noexcept { return static_cast<const BYTE*>(data_.get()); }
    DWORD size() const noexcept { return size_; }
    // The bytes as the text the INI model reads.
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

// Reads any file by its path: the driver package's templates, in a folder only
// administrators can write.
bool ReadFileBytes(const char* path, FileBytes& bytes) noexcept;

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

// What a writer makes of a file.
class FileChange
{
public:
    // `current` is null when there is no file (only then does a writer start empty). Sets
    // `write` and `next` to put `next` in place; leaves `write` false to change nothing.
    // ERROR_SUCCESS, or the error that ends the update.
    virtual DWORD Compute(const FileBytes* current, std::string& next, bool& write) noexcept = 0;

protected:
    ~FileChange() = default;
};

// The lock every writer of a device's file takes around its last step (device_store.h).
class SettingsLock;

// One entry as the folder's listing gives it. `name` points into the listing's buffer and
// holds until the listing's next entry.
struct ListedEntry
{
    const wchar_t* name = nullptr; // not terminated
    ULONG length = 0;              // characters
    DWORD attributes = 0;
    LONGLONG fileId = 0; // the file system's number for the file the entry names
};

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

    // Removes the folder itself (opened under `parent`, as it was), through a handle, when it
    // is empty; lets go of it either way.
    void RemoveIfEmpty(const OwnFolder& parent) noexcept;

    bool held() const noexcept { return static_cast<bool>(handle_); }
    HANDLE handle() const noexcept { return handle_.get(); }
    // For showing and handing over only: nothing in our folders is opened by this path.
    const char* path() const noexcept { return path_; }

    // ---- Files of ours in the folder. `name` is one component, ANSI text in the system's
    // code page, as the companion names the files.

    // Opens `name` when it is a file of ours: not a link, not a hard link (one name only),
    // and truly this folder's entry. A reparse point that is not a link (a deduplicated or
    // cloud file) is opened through its file system filter, so that its data is read.
    // ERROR_SUCCESS; ERROR_FILE_NOT_FOUND only when there is no such entry; kErrorNotOurs
    // (traced with the check that refused); or the platform's error (ERROR_SHARING_VIOLATION
    // while another writer holds it).
    DWORD OpenFile(const char* name, ACCESS_MASK access, ULONG share, UniqueFile& out,
                   FileIdentity* identity = nullptr) const noexcept;

    // Reads `name` (see OpenFile) denying writes while it reads, so that a writer's
    // half-done work is never taken for the file. One try: callers that wait for a holder
    // wrap it in Retrying.
    DWORD Read(const char* name, FileBytes& bytes, FileIdentity* identity = nullptr) const noexcept;

    // The identity of the file `name` now leads to (see OpenFile). ERROR_FILE_NOT_FOUND
    // when there is none.
    DWORD Identity(const char* name, FileIdentity& identity) const noexcept;

    // Whether the folder has an entry `name`: false only when the file system says there is
    // none (an entry held unshared, or one we may not open, exists).
    bool Exists(const char* name) const noexcept;

    // Deletes the file `name` through a handle on the entry itself: a link entry is removed,
    // never what it leads to. ERROR_SUCCESS once it is gone (or was not there).
    DWORD Delete(const char* name) const noexcept;

    // Holds `name` as a lock: a plain file of ours, made where there is none, opened without
    // sharing and marked for deletion, so that it goes when `out` closes or its process dies.
    // Only who may make entries in this folder, and so change its files, can hold it.
    // ERROR_LOCK_VIOLATION while another holds it (transient); a link found there is removed
    // as the link; an entry of another kind that cannot be removed (a folder) is
    // ERROR_LOCK_FAILED.
    DWORD HoldLock(const char* name, UniqueFile& out) const noexcept;

    // ---- The one way a file of ours is put in place: read it denying writes, compute the
    // new bytes in memory, write them into a new file beside it, and under the device's
    // lock (when given) rename that file into place only while the old one is still the one
    // read. A file that exists but cannot be read as ours is never replaced; one that changed
    // meanwhile is read again and the change computed anew; one that appeared where there was
    // none is read, not replaced. Transient errors are tried again for kRetryMs. ERROR_SUCCESS
    // once the new file is in place, or when nothing had to change.
    DWORD Update(const char* name, const SettingsLock* lock, FileChange& change) const noexcept;

    // Puts `bytes` in place as `name` only where no file of that name exists; one that exists
    // stays as it is, and that is no failure.
    DWORD PlaceNew(const char* name, const FileBytes& bytes, const SettingsLock* lock) const noexcept;

    // Puts `bytes` in place of whatever entry `name` is: the rename replaces the entry
    // itself, a hard link or link entry included, never what it leads to. A file that is ours
    // lends the new one its attributes and access list; one another user made lends nothing.
    DWORD Replace(const char* name, const FileBytes& bytes) const noexcept;

    // ---- Listing

    // Calls `visit(entry)` for each entry of the folder, "." and ".." left out, listed through
    // a handle of its own (a handle listed before may give its old listing again under Wine).
    // Stops when `visit` returns false.
    template <typename Visit> void List(Visit visit) const noexcept
    {
        Listing listing(*this);
        ListedEntry entry;
        while (listing.Next(entry) && visit(static_cast<const ListedEntry&>(entry)))
        {
        }
    }

    // Deletes a listed file entry when its handle shows it to be that entry: a link entry as
    // the link, or not at all, never its target; a folder never. False when not deleted.
    bool DeleteListed(const ListedEntry& entry) const noexcept;

    // Deletes what a writer of ours that died left in this folder: entries named as its
    // temporary files are (~xxxxxxxx.x), each proven as DeleteListed proves it. A live writer
    // holds its file unshared, so its file stays. Done once for each holding of the folder.
    void RemoveLeftovers() const noexcept;

    // How DeleteListed proves an entry: by the file's number where the volume shows link
    // entries as themselves (NTFS, ReFS; asked of the volume at the first deletion), else by
    // the name the handle holds. Set, it holds for this folder: a test shows both proofs on
    // one volume.
    void ProveListedByNumber(bool byNumber) noexcept { byNumber_ = byNumber ? 1 : 0; }

    // The file's number within its volume; 0 when it cannot be read. (FileIdInfo would also
    // ask for the volume's serial number, which Wine finds only by looking the mount point up.)
    static ULONGLONG FileNumber(HANDLE handle) noexcept;

    // The entries of a folder, "." and ".." left out, listed through `folder` (a handle
    // opened with FILE_LIST_DIRECTORY, which the listing takes over) from the first on, with
    // each entry's file number. The one listing of the library: our held folders list through
    // it, and so does the numbering of a scan's pages in the application's folder.
    class Listing
    {
    public:
        explicit Listing(UniqueFile folder) noexcept;
        explicit Listing(const OwnFolder& folder) noexcept;
        // The next entry; false once the listing has ended or failed.
        bool Next(ListedEntry& entry) noexcept;

    private:
        UniqueFile folder_;
        UniqueLocal buffer_;
        const BYTE* next_ = nullptr; // the next record in the buffer; null: ask for more
        bool restart_ = true;
    };

private:
    // The primitives every member is made of (own_folder.cpp).
    static bool WideName(const char* text, wchar_t (&out)[MAX_PATH]) noexcept;
    // The check that refused an entry goes to the trace with the entry's name; returns
    // kErrorNotOurs for the caller to return.
    static DWORD Refuse(const char* check, const wchar_t* name, DWORD error = kErrorNotOurs) noexcept;
    // True when the attributes say "link": a reparse point whose tag is a name surrogate
    // (symbolic link, junction, and their kind). Other reparse points (deduplicated,
    // compressed by the overlay filter, cloud placeholders) hold the file's own data.
    static bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag) noexcept;
    // How OpenEntry opens: on the entry itself (FILE_OPEN_REPARSE_POINT), so that on Windows
    // a link entry is opened as the link; by the exact spelling, not one that differs in
    // letter case only (a case-sensitive folder can hold both).
    static constexpr ULONG kOnEntry = 0x1;
    static constexpr ULONG kExactCase = 0x2;
    // Opens `name` relative to the held handle. The Win32 error; a folder where a file
    // belongs, or a file where a folder does, is kErrorNotOurs.
    DWORD OpenEntry(const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
                    UniqueFile& out, ULONG how = kOnEntry) const noexcept;

    DWORD Hold(const OwnFolder& parent, ULONG disposition, ACCESS_MASK access) noexcept;
    DWORD OpenWide(const wchar_t* name, ACCESS_MASK access, ULONG share, UniqueFile& out,
                   FileIdentity* identity) const noexcept;
    // True when `opened` (opened by `name` of `length` characters) is that entry of the
    // folder and not the file a link leads to; `listedId` is the number the listing gave.
    bool Proves(HANDLE opened, const wchar_t* name, ULONG length, const LONGLONG* listedId) const noexcept;
    // One try of an update (own_file_update.cpp); `recompute` set when the file changed
    // under it, to be read again at once.
    class Replacement;
    DWORD UpdateOnce(const wchar_t* name, const SettingsLock* lock, FileChange& change, DWORD lockWait,
                     bool& recompute) const noexcept;

    UniqueFile handle_;
    char path_[MAX_PATH] = {};
    wchar_t name_[MAX_PATH] = {}; // the last component, for RemoveIfEmpty
    // The folder's name within its volume ("\users\Public\Documents\..."), as the file system
    // gives it for the handle: what an entry's own name must continue.
    wchar_t volumeName_[MAX_PATH] = {};
    size_t volumeLength_ = 0;
    // Whether the volume shows link entries as themselves (asked at the first listed deletion).
    mutable signed char byNumber_ = -1;
    mutable bool swept_ = false; // RemoveLeftovers has run for this holding
};

} // namespace uiext2
