// A device's folders, each opened once relative to its parent's held handle, and its lock.
#include "device/device_store.h"

#include "device/path_rules.h"

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

DWORD SettingsLock::Take(DWORD milliseconds) const noexcept
{
    if (!device_ || file_)
        return ERROR_INVALID_FUNCTION;
    return Retrying([&] { return device_->HoldLock(kLockFileName, file_); }, milliseconds);
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
    return deviceName_[0] && OpenVendor(create) && devices_.Open(vendor_, kDevicesFolderName, create) &&
           device_.Open(devices_, deviceName_, create);
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
