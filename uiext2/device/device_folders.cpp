// A device's folders, each opened once relative to its parent's held handle.
#include "device/device_folders.h"

#include "device/path_rules.h"

#include <shlobj.h>

#include <cstring>

namespace uiext2
{

namespace
{

bool IsSystemLeadByte(unsigned char byte) noexcept
{
    return ::IsDBCSLeadByte(byte) != FALSE;
}

// A special folder's path; the folder is never created here.
bool SpecialFolder(int csidl, char (&path)[MAX_PATH]) noexcept
{
    path[0] = '\0';
    return ::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) && path[0] != '\0';
}

} // namespace

bool CommonDocumentsFolder(char (&path)[MAX_PATH]) noexcept
{
    return SpecialFolder(CSIDL_COMMON_DOCUMENTS, path);
}

bool ProgramFilesFolder(char (&path)[MAX_PATH]) noexcept
{
    return SpecialFolder(CSIDL_PROGRAM_FILES, path);
}

bool DeviceFolders::Fits(const char* deviceName) noexcept
{
    // The companion opens the device's files by path, with the ANSI functions: each must fit.
    char documents[MAX_PATH];
    DevicePaths paths;
    return deviceName && CommonDocumentsFolder(documents) &&
           ComposeDevicePaths(documents, deviceName, paths, IsSystemLeadByte);
}

bool DeviceFolders::OpenVendor(bool create) noexcept
{
    if (vendor_.held())
        return true;
    char documents[MAX_PATH];
    return CommonDocumentsFolder(documents) && root_.OpenRoot(documents) && vendor_.Open(root_, "Velmora", create);
}

bool DeviceFolders::OpenDevice(const char* deviceName, bool create) noexcept
{
    if (device_.held())
        return std::strcmp(deviceName_, deviceName) == 0;
    if (!Fits(deviceName))
        return false;
    std::memcpy(deviceName_, deviceName, std::strlen(deviceName) + 1);
    return lock_.Open(deviceName) && OpenVendor(create) && devices_.Open(vendor_, "WIA", create) &&
           device_.Open(devices_, deviceName, create);
}

bool DeviceFolders::OpenStaging(bool create) noexcept
{
    return staging_.held() || (OpenVendor(create) && staging_.Open(vendor_, "VT_WIA", create));
}

bool DeviceFolders::OpenDrop(bool create) noexcept
{
    return drop_.held() || (OpenVendor(create) && drop_.Open(vendor_, "VT_WIA_COPY", create));
}

void DeviceFolders::RemoveDropIfEmpty() noexcept
{
    drop_.RemoveIfEmpty(vendor_);
}

} // namespace uiext2
