// A device's folders, each opened once relative to its parent's held handle, and its lock.
#include "device/device_store.h"

#include "device/path_rules.h"

#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

namespace uiext2
{

namespace
{

// A special folder's path; the folder is never created here.
bool SpecialFolder(int csidl, char (&path)[MAX_PATH]) noexcept
{
    path[0] = '\0';
    return ::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) && path[0] != '\0';
}

} // namespace

bool IsSystemLeadByte(unsigned char byte) noexcept
{
    return ::IsDBCSLeadByte(byte) != FALSE;
}

bool ProgramFilesFolder(char (&path)[MAX_PATH]) noexcept
{
    return SpecialFolder(CSIDL_PROGRAM_FILES, path);
}

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

DWORD DeviceFolders::NameDevice(const char* deviceName) noexcept
{
    if (!IsSafeFolderName(deviceName, IsSystemLeadByte))
        return ERROR_INVALID_NAME;
    if (!documents_[0] && !SpecialFolder(CSIDL_COMMON_DOCUMENTS, documents_))
        return ERROR_PATH_NOT_FOUND;
    // The companion opens the device's files by path, with the ANSI functions: each must fit.
    if (!DevicePathsFit(std::strlen(documents_), deviceName))
        return ERROR_FILENAME_EXCED_RANGE;
    if (device_.held() && std::strcmp(deviceName_, deviceName) != 0)
        return ERROR_INVALID_FUNCTION; // these folders serve one device
    std::memcpy(deviceName_, deviceName, std::strlen(deviceName) + 1);
    return ERROR_SUCCESS;
}

bool DeviceFolders::OpenVendor(bool create) noexcept
{
    if (vendor_.held())
        return true;
    if (!documents_[0] && !SpecialFolder(CSIDL_COMMON_DOCUMENTS, documents_))
        return false;
    return root_.OpenRoot(documents_) && vendor_.Open(root_, kVendorFolderName, create);
}

bool DeviceFolders::OpenDevice(bool create) noexcept
{
    if (device_.held())
        return true;
    return deviceName_[0] && lock_.Open(deviceName_) && OpenVendor(create) &&
           devices_.Open(vendor_, kDevicesFolderName, create) && device_.Open(devices_, deviceName_, create);
}

bool DeviceFolders::OpenStaging(bool create) noexcept
{
    return staging_.held() || (OpenVendor(create) && staging_.Open(vendor_, kStagingFolderName, create));
}

bool DeviceFolders::OpenDrop(bool create) noexcept
{
    return drop_.held() || (OpenVendor(create) && drop_.Open(vendor_, kDropFolderName, create));
}

void DeviceFolders::RemoveDropIfEmpty() noexcept
{
    drop_.RemoveIfEmpty(vendor_);
}

} // namespace uiext2
