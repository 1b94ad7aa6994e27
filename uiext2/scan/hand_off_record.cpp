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
// A registry value is no place for more: a larger file is handed over, and not recorded.
constexpr DWORD kMaxRecorded = 1024 * 1024;

} // namespace

bool HandOffRecord::Save(const char* deviceName, const FileBytes (&handed)[kFiles],
                         const bool (&copied)[kFiles]) noexcept
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
        if (copied[i])
            whole = handed[i].size() <= kMaxRecorded &&
                    ::RegSetValueExA(key.get(), kFileValues[i], 0, REG_BINARY, handed[i].data(), handed[i].size()) ==
                        ERROR_SUCCESS &&
                    whole;
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
        if (buffer && ::RegQueryValueExA(key.get(), kFileValues[i], nullptr, nullptr, static_cast<BYTE*>(buffer.get()),
                                         &size) == ERROR_SUCCESS)
            copied_[i] = handed_[i].Assign(buffer.get(), size);
    }
    return true;
}

void HandOffRecord::Clear() noexcept
{
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kRecordKey);
}

} // namespace uiext2
