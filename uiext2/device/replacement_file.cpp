// New files renamed into place relative to a held folder handle.
#include "device/replacement_file.h"

#include "device/entry_access.h"
#include "platform/nt_file.h"

#include <aclapi.h>

#include <cwchar>

namespace uiext2
{

namespace
{

// What a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) noexcept
{
    return ::IsWellKnownSid(sid, type) != FALSE;
}

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

} // namespace

bool OwnedByUsOrTheSystem(HANDLE file) noexcept
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                          nullptr, &descriptor);
    const UniqueLocal held(descriptor);
    return error == ERROR_SUCCESS && owner &&
           (IsThisUser(owner) || IsWellKnown(owner, WinBuiltinAdministratorsSid) ||
            IsWellKnown(owner, WinLocalSystemSid));
}

ReplacementFile::ReplacementFile(const OwnFolder& folder, const char* name) noexcept
{
    if (folder.held() && WideName(name, target_))
        folder_ = folder.handle();
}

ReplacementFile::~ReplacementFile()
{
    if (!file_)
        return;
    if (attributes_ & FILE_ATTRIBUTE_READONLY)
        SetAttributes(file_.get(), FILE_ATTRIBUTE_NORMAL); // a read-only file cannot be deleted
    Dispose(file_.get());
}

DWORD ReplacementFile::Create(const void* data, DWORD size, HANDLE like) noexcept
{
    if (!folder_ || file_)
        return ERROR_INVALID_FUNCTION;
    // Unforeseeable enough that nobody has put an entry there in advance; FILE_CREATE
    // refuses any entry that is there all the same.
    static volatile LONG counter = 0;
    wchar_t temporary[24];
    const unsigned long unique = (::GetCurrentProcessId() << 16) ^ ::GetTickCount();
    std::swprintf(temporary, 24, L"~%08lx.%lx", unique,
                  static_cast<unsigned long>(::InterlockedIncrement(&counter)) & 0xFFFu);
    // Unshared: nobody else opens, renames or deletes it while we hold it. Made without a
    // descriptor of its own, it inherits our folder's.
    DWORD error = ErrorOf(OpenRelative(
        folder_, temporary, GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, 0,
        FILE_CREATE, FILE_NON_DIRECTORY_FILE, file_));
    if (error != ERROR_SUCCESS)
        return error;
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
    if (!OwnedByUsOrTheSystem(like))
        return ERROR_SUCCESS;
    error = CopySecurity(like, file_.get());
    return error;
}

DWORD ReplacementFile::Commit(bool replace) noexcept
{
    if (!file_)
        return ERROR_INVALID_FUNCTION;
    if (attributes_ != 0 && !SetAttributes(file_.get(), attributes_))
        return ::GetLastError();
    struct
    {
        NtRenameInformation info;
        wchar_t rest[MAX_PATH];
    } rename = {};
    rename.info.RootDirectory = folder_;
    rename.info.FileNameLength = static_cast<ULONG>(std::wcslen(target_) * sizeof(wchar_t));
    std::wmemcpy(rename.info.FileName, target_, std::wcslen(target_));
    IO_STATUS_BLOCK io = {};
    // The newest form first; each older platform refuses what it does not know, and the
    // next form is tried: without the read-only flag (before 1809), then the classic rename.
    const ULONG replacing = replace ? kRenameReplaceIfExists : 0;
    const ULONG forms[] = {replacing | kRenamePosixSemantics | kRenameIgnoreReadOnly,
                           replacing | kRenamePosixSemantics};
    NTSTATUS status = kStatusInvalidInfoClass;
    for (const ULONG flags : forms)
    {
        rename.info.Flags = flags;
        status = ::NtSetInformationFile(file_.get(), &io, &rename, sizeof(rename),
                                        NewerInformationClass(kFileRenameInformationEx));
        if (!Unsupported(status))
            break;
    }
    if (Unsupported(status))
    {
        rename.info.Flags = 0;
        rename.info.ReplaceIfExists = replace ? TRUE : FALSE;
        status = ::NtSetInformationFile(file_.get(), &io, &rename, sizeof(rename),
                                        static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
    }
    if (!NT_SUCCESS(status))
        return replace && ErrorOf(status) == ERROR_ACCESS_DENIED && HeldOpen() ? ERROR_SHARING_VIOLATION
                                                                               : ErrorOf(status);
    file_.reset();
    return ERROR_SUCCESS;
}

bool ReplacementFile::HeldOpen() const noexcept
{
    // The classic rename cannot replace a file that is open, even when its holder (an
    // indexer, a backup tool, a virus scanner) shares its deletion, and says "access denied".
    // Where we may delete the file, or only its holder's sharing keeps us from it, the file
    // is in use; where we may not delete it at all, the denial stands.
    UniqueFile probe;
    const DWORD error = ErrorOf(OpenRelative(folder_, target_, DELETE | FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                             FILE_NON_DIRECTORY_FILE, probe));
    return error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION;
}

} // namespace uiext2
