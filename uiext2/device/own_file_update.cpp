// The one way a file of ours is put in place: a new file beside it, renamed into place
// relative to the held folder, under the device's lock and only while the old one is still
// the one read.
#include "device/device_store.h"
#include "device/own_folder.h"

#include "platform/nt_file.h"

#include <aclapi.h>

#include <cwchar>
#include <iterator>

namespace uiext2
{

namespace
{

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file that never stays still is given up as in use after this many fresh reads.
constexpr int kMaxRecomputes = 16;
// What a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

volatile LONG g_newestRename = static_cast<LONG>(RenameForm::IgnoringReadOnly);

bool IsThisUser(PSID sid) noexcept
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    alignas(TOKEN_USER) BYTE record[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenUser, record, sizeof(record), &size) &&
           ::EqualSid(reinterpret_cast<TOKEN_USER*>(record)->User.Sid, sid);
}

// True when the file's owner is this user, the built-in administrators or the system: a
// file whose access list we may keep.
bool OwnedByUsOrTheSystem(HANDLE file) noexcept
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                          nullptr, &descriptor);
    const UniqueLocal held(descriptor);
    return error == ERROR_SUCCESS && owner &&
           (IsThisUser(owner) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
            ::IsWellKnownSid(owner, WinLocalSystemSid));
}

// Gives `to` the access control list of `from` (protected or inheriting, as it was) and,
// where this user may set them, its owner and group.
DWORD CopySecurity(HANDLE from, HANDLE to) noexcept
{
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(from, SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    &owner, &group, &dacl, nullptr, &descriptor);
    const UniqueLocal held(descriptor);
    if (error != ERROR_SUCCESS)
        return error;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision))
        return ::GetLastError();
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    error = ::SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    // Another owner than oneself needs the restore privilege: without it the new file stays
    // this user's, with the old file's access list.
    ::SetSecurityInfo(to, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner, group,
                      nullptr, nullptr);
    return ERROR_SUCCESS;
}

bool SetAttributes(HANDLE file, DWORD attributes) noexcept
{
    FILE_BASIC_INFO basic = {}; // zero times: left as they are
    basic.FileAttributes = attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

// A platform without the Ex class or one of its flags says so with one of these.
bool Unsupported(NTSTATUS status) noexcept
{
    return status == kStatusInvalidInfoClass || status == kStatusInvalidParameter || status == kStatusNotImplemented ||
           status == kStatusNotSupported;
}

// The whole of `bytes`, where there is no file (or over any, with `overAny`).
class WholeFile final : public FileChange
{
public:
    explicit WholeFile(const FileBytes& bytes) noexcept : bytes_(bytes) {}

    DWORD Compute(const FileBytes* current, std::string& next, bool& write) noexcept override
    {
        if (current)
            return ERROR_SUCCESS;
        try
        {
            next.assign(bytes_.text());
        }
        catch (...)
        {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        write = true;
        return ERROR_SUCCESS;
    }

private:
    const FileBytes& bytes_;
};

} // namespace

// A new file for an entry of the folder, created under a temporary name relative to the
// folder's handle and kept open, unshared, from its creation until Commit renames it into
// place relative to the same handle: its name cannot be swapped meanwhile. The rename
// replaces the entry itself, never the file that a hard link or link entry found there leads
// to. Not committed, it is deleted through its handle.
class OwnFolder::Replacement
{
public:
    Replacement(const OwnFolder& folder, const wchar_t* target) noexcept : folder_(folder), target_(target) {}
    ~Replacement()
    {
        if (!file_)
            return;
        // Still marked unless a commit took the mark back and failed.
        if (attributes_ & FILE_ATTRIBUTE_READONLY)
            SetAttributes(file_.get(), FILE_ATTRIBUTE_NORMAL); // a read-only file cannot be deleted
        MarkForDeletion(file_.get());
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // Creates the temporary file holding `size` bytes of `data`, flushed to the disk. When
    // `like` is given (the file this one replaces, opened with READ_CONTROL and
    // FILE_READ_ATTRIBUTES), the new file takes its attributes, and its access control where
    // that file belongs to this user, the administrators or the system; a file another user
    // put there lends nothing, and the new one inherits from our folder.
    DWORD Create(const void* data, DWORD size, HANDLE like) noexcept
    {
        // Unforeseeable enough that nobody has put an entry there in advance; FILE_CREATE
        // refuses any entry that is there all the same.
        static volatile LONG counter = 0;
        wchar_t temporary[24];
        const unsigned long unique = (::GetCurrentProcessId() << 16) ^ ::GetTickCount();
        std::swprintf(temporary, 24, L"~%08lx.%lx", unique,
                      static_cast<unsigned long>(::InterlockedIncrement(&counter)) & 0xFFFu);
        // Unshared: nobody else opens, renames or deletes it while we hold it. Made without a
        // descriptor of its own, it inherits our folder's.
        folder_.RemoveLeftovers();
        DWORD error = folder_.OpenEntry(
            temporary, GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, 0,
            FILE_CREATE, FILE_NON_DIRECTORY_FILE, file_);
        if (error != ERROR_SUCCESS)
            return error;
        // Marked for deletion until the moment of its rename: a writer that dies meanwhile
        // (waiting for the lock, say) leaves nothing. The classic mark, which can be taken back.
        if (!SetDeletePending(file_.get(), true))
            return ::GetLastError();
        DWORD written = 0;
        if (size != 0 && (!::WriteFile(file_.get(), data, size, &written, nullptr) || written != size))
            return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_WRITE_FAULT;
        // On the disk before its name is: a power cut after the rename finds the content too.
        if (!::FlushFileBuffers(file_.get()))
            return ::GetLastError();
        if (!like)
            return ERROR_SUCCESS;
        FILE_BASIC_INFO basic = {};
        if (!::GetFileInformationByHandleEx(like, FileBasicInfo, &basic, sizeof(basic)))
            return ::GetLastError();
        attributes_ = basic.FileAttributes & kKeptAttributes;
        return OwnedByUsOrTheSystem(like) ? CopySecurity(like, file_.get()) : ERROR_SUCCESS;
    }

    // Renames the file into place: over an existing entry when `replace` is set, else only
    // where no entry of that name exists (ERROR_ALREADY_EXISTS). Where the file system has
    // them, with POSIX semantics (a file that others hold open, sharing its deletion, is
    // replaced all the same) and ignoring a read-only target; elsewhere the classic rename.
    // ERROR_SHARING_VIOLATION while another program holds the file in place.
    DWORD Commit(bool replace) noexcept
    {
        if (!SetDeletePending(file_.get(), false))
            return ::GetLastError();
        if (attributes_ != 0 && !SetAttributes(file_.get(), attributes_))
            return ::GetLastError();
        NTSTATUS status = Rename(replace);
        // Where the rename cannot ignore a read-only target (before Windows 10 1809, and the
        // classic rename), the target's attribute is cleared and the rename tried again; the
        // new file already carries the attribute, and a rename that still fails puts it back.
        // Wine 8 replaces a read-only target whatever the form; Wine 10 refuses it as Windows does.
        if (replace && ::RtlNtStatusToDosError(status) == ERROR_ACCESS_DENIED && TargetReadOnly(false))
        {
            status = Rename(replace);
            if (!NT_SUCCESS(status))
                TargetReadOnly(true);
        }
        if (NT_SUCCESS(status))
        {
            file_.reset();
            return ERROR_SUCCESS;
        }
        const DWORD error = ::RtlNtStatusToDosError(status); // a name taken: ERROR_ALREADY_EXISTS
        return replace && error == ERROR_ACCESS_DENIED && HeldOpen() ? ERROR_SHARING_VIOLATION : error;
    }

private:
    NTSTATUS Rename(bool replace) noexcept
    {
        struct
        {
            NtRenameInformation info;
            wchar_t rest[MAX_PATH];
        } rename = {};
        const size_t length = std::wcslen(target_);
        rename.info.RootDirectory = folder_.handle();
        rename.info.FileNameLength = static_cast<ULONG>(length * sizeof(wchar_t));
        std::wmemcpy(rename.info.FileName, target_, length);
        IO_STATUS_BLOCK io = {};
        // The newest form first; each older platform refuses what it does not know, and the
        // next form is tried: without the read-only flag (before 1809), then the classic rename.
        const ULONG replacing = replace ? kRenameReplaceIfExists : 0;
        const ULONG forms[] = {replacing | kRenamePosixSemantics | kRenameIgnoreReadOnly,
                               replacing | kRenamePosixSemantics};
        static_assert(std::size(forms) == static_cast<size_t>(RenameForm::Classic), "one Ex form for each newer form");
        NTSTATUS status = kStatusInvalidInfoClass;
        for (LONG form = g_newestRename; form < static_cast<LONG>(RenameForm::Classic); ++form)
        {
            rename.info.Flags = forms[form];
            status = ::NtSetInformationFile(file_.get(), &io, &rename, sizeof(rename),
                                            NewerInformationClass(kFileRenameInformationEx));
            if (!Unsupported(status))
                return status;
        }
        rename.info.Flags = 0;
        rename.info.ReplaceIfExists = replace ? TRUE : FALSE;
        return ::NtSetInformationFile(file_.get(), &io, &rename, sizeof(rename),
                                      static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
    }

    // With `set` false: clears the target's read-only attribute, true when it had it and it
    // is cleared. With `set`: gives it back.
    bool TargetReadOnly(bool set) const noexcept
    {
        UniqueFile target;
        FILE_BASIC_INFO basic = {};
        if (folder_.OpenEntry(target_, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN,
                              FILE_NON_DIRECTORY_FILE, target) != ERROR_SUCCESS ||
            !::GetFileInformationByHandleEx(target.get(), FileBasicInfo, &basic, sizeof(basic)) ||
            ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) == set)
            return false;
        const DWORD attributes = set ? basic.FileAttributes | FILE_ATTRIBUTE_READONLY
                                     : basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        return SetAttributes(target.get(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
    }

    bool HeldOpen() const noexcept
    {
        // The classic rename cannot replace a file that is open, even when its holder (an
        // indexer, a backup tool, a virus scanner) shares its deletion, and says "access
        // denied". Where we may delete the file, or only its holder's sharing keeps us from
        // it, the file is in use; where we may not delete it at all, the denial stands.
        UniqueFile probe;
        const DWORD error = folder_.OpenEntry(target_, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                                              FILE_NON_DIRECTORY_FILE, probe);
        return error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION;
    }

    const OwnFolder& folder_;
    const wchar_t* target_;
    UniqueFile file_;
    DWORD attributes_ = 0; // to set just before the rename (a read-only file takes no writes)
};

void StartRenamesAt(RenameForm newest) noexcept
{
    ::InterlockedExchange(&g_newestRename, static_cast<LONG>(newest));
}

DWORD OwnFolder::UpdateOnce(const wchar_t* name, const SettingsLock* lock, FileChange& change, DWORD lockWait,
                            bool& recompute) const noexcept
{
    recompute = false;
    FileBytes current;
    FileIdentity read;
    UniqueFile file;
    DWORD error = OpenWide(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, file, &read);
    const bool exists = error == ERROR_SUCCESS;
    if (exists)
        error = current.ReadFrom(file.get());
    file.reset();
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return error;
    std::string bytes;
    bool write = false;
    error = change.Compute(exists ? &current : nullptr, bytes, write);
    if (error != ERROR_SUCCESS || !write || (exists && bytes == current.text()))
        return error;

    // The old file, for its attributes and (when it is ours) its access list.
    UniqueFile old;
    if (exists && (error = OpenWide(name, READ_CONTROL, kShareAll, old, nullptr)) != ERROR_SUCCESS)
    {
        recompute = !IsTransient(error);
        return error;
    }
    Replacement replacement(*this, name);
    error = replacement.Create(bytes.data(), static_cast<DWORD>(bytes.size()), old ? old.get() : nullptr);
    old.reset(); // an open file cannot be replaced by the classic rename, even by its own opener
    if (error != ERROR_SUCCESS)
        return error;

    // The check and the rename are one step for every writer of ours.
    SettingsLockScope scope(lock, lockWait);
    if (lock && !scope.taken())
        return scope.error();
    FileIdentity now;
    const DWORD state = OpenWide(name, 0, kShareAll, file, &now);
    file.reset();
    if (exists ? state != ERROR_SUCCESS || now != read : state != ERROR_FILE_NOT_FOUND)
    {
        recompute = true;
        return ERROR_ALREADY_EXISTS;
    }
    error = replacement.Commit(exists);
    recompute = error == ERROR_ALREADY_EXISTS;
    return error;
}

DWORD OwnFolder::Update(const char* name, const SettingsLock* lock, FileChange& change) const noexcept
{
    wchar_t wide[MAX_PATH];
    if (!held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    const ULONGLONG start = ::GetTickCount64();
    int recomputes = 0;
    return Retrying(
        [&]
        {
            for (;;)
            {
                const ULONGLONG spent = ::GetTickCount64() - start;
                const DWORD left = spent < kRetryMs ? static_cast<DWORD>(kRetryMs - spent) : 0;
                bool recompute = false;
                const DWORD error = UpdateOnce(wide, lock, change, left, recompute);
                if (!recompute)
                    return error;
                if (++recomputes >= kMaxRecomputes)
                    return static_cast<DWORD>(ERROR_SHARING_VIOLATION);
            }
        });
}

DWORD OwnFolder::PlaceNew(const char* name, const FileBytes& bytes, const SettingsLock* lock) const noexcept
{
    WholeFile change(bytes);
    return Update(name, lock, change);
}

DWORD OwnFolder::Replace(const char* name, const FileBytes& bytes) const noexcept
{
    wchar_t wide[MAX_PATH];
    if (!held() || !WideName(name, wide))
        return ERROR_INVALID_NAME;
    return Retrying(
        [&]
        {
            UniqueFile old;
            const bool mine = OpenWide(wide, READ_CONTROL, kShareAll, old, nullptr) == ERROR_SUCCESS &&
                              OwnedByUsOrTheSystem(old.get());
            Replacement replacement(*this, wide);
            const DWORD error = replacement.Create(bytes.data(), bytes.size(), mine ? old.get() : nullptr);
            old.reset();
            return error != ERROR_SUCCESS ? error : replacement.Commit(true);
        });
}

} // namespace uiext2
