// The per-device lock of the settings writers.
#include "device/settings_lock.h"

#include <sddl.h>

#include <cwchar>

namespace uiext2
{

bool SettingsLock::Open(const char* deviceName) noexcept
{
    mutex_.reset();
    wchar_t device[MAX_PATH];
    wchar_t name[MAX_PATH];
    if (!deviceName || ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, deviceName, -1, device, MAX_PATH) <= 0)
        return false;
    const int length = std::swprintf(name, MAX_PATH, L"Global\\VELMORA_WIA_SETTINGS %ls", device);
    if (length <= 0 || length >= MAX_PATH)
        return false;
    // Everyone may wait for it and release it; the system and administrators hold the rest.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100001;;;WD)(A;;GA;;;SY)(A;;GA;;;BA)"
                                                                L"S:(ML;;NW;;;LW)",
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const UniqueLocal held(descriptor);
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    // Created or opened, asking only for what taking and giving need.
    mutex_.reset(::CreateMutexExW(&security, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
    return true; // a name we may not open leaves no mutex: Take then fails, as when it is held
}

bool SettingsLock::Take(DWORD milliseconds) const noexcept
{
    if (!mutex_ || taken_)
        return false;
    const DWORD result = ::WaitForSingleObject(mutex_.get(), milliseconds);
    // Abandoned: its holder died; the files it may have been renaming are checked as ever.
    taken_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return taken_;
}

void SettingsLock::Give() const noexcept
{
    if (taken_)
        ::ReleaseMutex(mutex_.get());
    taken_ = false;
}

} // namespace uiext2
