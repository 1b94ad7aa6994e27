// The hand-off record in this user's registry.
#include "scan/hand_off_record.h"

#include "device/path_rules.h"

#include <cstring>

namespace uiext2
{

namespace
{

constexpr char kRecordKey[] = "Software\\Velmora Tesk\\WIA_QAL2\\HandOff";
constexpr char kDeviceValue[] = "Device";
constexpr const char* kFileValues[] = {kSettingsFileName, kScannerListFileName, kPageLogFileName};
// Each file's copy as placed: its file number. A rewrite in place keeps it; a file put in its
// place by another run has another (on NTFS a reused record's number differs in its sequence
// part; Wine's numbers are Unix inodes, which a file system may reuse once freed).
constexpr const char* kPlacedValues[] = {"VT_TWAIN1.ini placed", "RegList.ini placed", "VTTwainPageLog.ini placed"};
constexpr char kCompanionValue[] = "Companion";
using Placed = ULONGLONG;
struct Companion
{
    DWORD id;
    FILETIME created;
};

bool ProcessCreated(HANDLE process, FILETIME& created) noexcept
{
    FILETIME exited, kernel, user;
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
}
// A registry value is no place for more: a larger file is handed over, and not recorded.
constexpr DWORD kMaxRecorded = 1024 * 1024;

} // namespace

bool HandOffRecord::Save(const char* deviceName, const FileBytes (&handed)[kFiles],
                         const FileIdentity (&placed)[kFiles], const bool (&copied)[kFiles]) noexcept
{
    Clear();
    UniqueHKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
    {
        key.release(); // a failed call may leave anything in the slot
        return false;
    }
    bool whole = true;
    for (int i = 0; i < kFiles; ++i)
    {
        const Placed identity = placed[i].number;
        if (copied[i])
            whole = handed[i].size() <= kMaxRecorded &&
                    ::RegSetValueExA(key.get(), kFileValues[i], 0, REG_BINARY, handed[i].data(), handed[i].size()) ==
                        ERROR_SUCCESS &&
                    ::RegSetValueExA(key.get(), kPlacedValues[i], 0, REG_BINARY,
                                     reinterpret_cast<const BYTE*>(&identity), sizeof(identity)) == ERROR_SUCCESS &&
                    whole;
    }
    // The device last: a record without it is no record, so one cut short is never taken for one.
    return ::RegSetValueExA(key.get(), kDeviceValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(deviceName),
                            static_cast<DWORD>(std::strlen(deviceName) + 1)) == ERROR_SUCCESS &&
           whole;
}

bool HandOffRecord::Load() noexcept
{
    UniqueHKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRecordKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    {
        key.release();
        return false;
    }
    DWORD type = 0;
    DWORD size = sizeof(device_) - 1;
    std::memset(device_, 0, sizeof(device_));
    if (::RegQueryValueExA(key.get(), kDeviceValue, nullptr, &type, reinterpret_cast<BYTE*>(device_), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ || device_[0] == '\0')
        return false;
    for (int i = 0; i < kFiles; ++i)
    {
        size = 0;
        copied_[i] = false;
        if (::RegQueryValueExA(key.get(), kFileValues[i], nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_BINARY || size > kMaxRecorded)
            continue;
        UniqueLocal buffer(::LocalAlloc(LMEM_FIXED, size + 1));
        Placed identity = 0;
        DWORD identitySize = sizeof(identity);
        if (buffer &&
            ::RegQueryValueExA(key.get(), kFileValues[i], nullptr, nullptr, static_cast<BYTE*>(buffer.get()), &size) ==
                ERROR_SUCCESS &&
            ::RegQueryValueExA(key.get(), kPlacedValues[i], nullptr, &type, reinterpret_cast<BYTE*>(&identity),
                               &identitySize) == ERROR_SUCCESS &&
            type == REG_BINARY && identitySize == sizeof(identity))
        {
            // A record without the copy's identity could merge a copy another run placed.
            placed_[i].number = identity;
            copied_[i] = handed_[i].Assign(buffer.get(), size);
        }
    }
    Companion companion = {};
    size = sizeof(companion);
    if (::RegQueryValueExA(key.get(), kCompanionValue, nullptr, &type, reinterpret_cast<BYTE*>(&companion), &size) ==
            ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof(companion))
    {
        companionId_ = companion.id;
        companionCreated_ = companion.created;
    }
    return true;
}

void HandOffRecord::NoteCompanion(HANDLE process) noexcept
{
    Companion companion = {::GetProcessId(process), {}};
    UniqueHKey key;
    if (!process || !ProcessCreated(process, companion.created) ||
        ::RegOpenKeyExA(HKEY_CURRENT_USER, kRecordKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
    {
        key.release();
        return;
    }
    ::RegSetValueExA(key.get(), kCompanionValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&companion),
                     sizeof(companion));
}

HANDLE HandOffRecord::OpenLiveCompanion() const noexcept
{
    if (companionId_ == 0)
        return nullptr;
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, companionId_));
    FILETIME created = {};
    if (!process || !ProcessCreated(process.get(), created) || ::CompareFileTime(&created, &companionCreated_) != 0 ||
        ::WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT)
        return nullptr;
    return process.release();
}

void HandOffRecord::Keep(const bool (&pending)[kFiles]) noexcept
{
    bool any = false;
    for (const bool file : pending)
        any = any || file;
    UniqueHKey key;
    if (!any || ::RegOpenKeyExA(HKEY_CURRENT_USER, kRecordKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
    {
        key.release();
        if (!any)
            Clear();
        return;
    }
    for (int i = 0; i < kFiles; ++i)
        if (!pending[i])
        {
            ::RegDeleteValueA(key.get(), kFileValues[i]);
            ::RegDeleteValueA(key.get(), kPlacedValues[i]);
        }
}

void HandOffRecord::Clear() noexcept
{
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kRecordKey);
}

} // namespace uiext2
