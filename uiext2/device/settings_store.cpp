// The device's settings-file paths, first-use provisioning from the driver package's
// templates, and the default measurement unit.
#include "device/settings_store.h"

#include <shlobj.h>

#include "support/unique.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace uiext2
{

static_assert(sizeof(DeviceFilesRecord::settingsFile) == sizeof(DevicePaths::settingsFile),
              "the record holds the composed paths as they are");

namespace
{

// The existence test holds the file unshared only for the moment of the open. Only "not
// found" means absent: a file held open by the companion program (sharing violation) or
// one we may not read (access denied) exists, and must not be replaced by a template.
bool SettingsFileAbsent(const char* path) noexcept
{
    UniqueFile file(::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
        return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Existing folders are fine; any other failure shows up as a missing file later.
void CreateFolderTree(const char* documentsRoot, const char* deviceFolder) noexcept
{
    char folder[MAX_PATH];
    if (FormatPath(folder, sizeof(folder), "%s\\Velmora", documentsRoot))
        ::CreateDirectoryA(folder, nullptr);
    if (FormatPath(folder, sizeof(folder), "%s\\Velmora\\WIA", documentsRoot))
        ::CreateDirectoryA(folder, nullptr);
    ::CreateDirectoryA(deviceFolder, nullptr);
    if (FormatPath(folder, sizeof(folder), "%s\\Velmora\\VT_WIA", documentsRoot))
        ::CreateDirectoryA(folder, nullptr);
}

// Copies one template of the driver package over `target`. A missing template leaves the
// target absent; the key written next then creates a file holding only that key.
void CopyTemplate(const char* fileName, const char* target) noexcept
{
    char programRoot[MAX_PATH];
    char source[MAX_PATH];
    if (ProgramFilesFolder(programRoot) &&
        FormatPath(source, sizeof(source), "%s\\WIA Scanner\\USB2\\%s", programRoot, fileName))
    {
        ::CopyFileA(source, target, FALSE);
    }
}

bool IsSystemLeadByte(unsigned char byte) noexcept
{
    return ::IsDBCSLeadByte(byte) != FALSE;
}

} // namespace

// A special folder's path; the folder is never created here.
static bool SpecialFolder(int csidl, char (&path)[MAX_PATH]) noexcept
{
    path[0] = '\0';
    return ::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) && path[0] != '\0';
}

bool CommonDocumentsFolder(char (&path)[MAX_PATH]) noexcept
{
    return SpecialFolder(CSIDL_COMMON_DOCUMENTS, path);
}

bool ProgramFilesFolder(char (&path)[MAX_PATH]) noexcept
{
    return SpecialFolder(CSIDL_PROGRAM_FILES, path);
}

bool IsSafeDeviceName(const char* deviceName) noexcept
{
    return IsSafeFolderName(deviceName, IsSystemLeadByte);
}

bool DevicePathsOf(const char* deviceName, DevicePaths& paths) noexcept
{
    char documentsRoot[MAX_PATH];
    return CommonDocumentsFolder(documentsRoot) &&
           ComposeDevicePaths(documentsRoot, deviceName, paths, IsSystemLeadByte);
}

bool SetDeviceFiles(const char* deviceName, DeviceFilesRecord& record) noexcept
{
    DevicePaths paths;
    if (!DevicePathsOf(deviceName, paths))
        return false;

    std::memcpy(record.settingsFile, paths.settingsFile, sizeof(record.settingsFile));
    std::memcpy(record.scannerListFile, paths.scannerListFile, sizeof(record.scannerListFile));
    std::memcpy(record.pageLogFile, paths.pageLogFile, sizeof(record.pageLogFile));
    return true;
}

void ProvisionDeviceFolder(const char* deviceName, const char* modelName) noexcept
{
    char documentsRoot[MAX_PATH];
    DevicePaths device;
    if (!CommonDocumentsFolder(documentsRoot) ||
        !ComposeDevicePaths(documentsRoot, deviceName, device, IsSystemLeadByte))
        return;
    if (!SettingsFileAbsent(device.settingsFile))
        return;

    CreateFolderTree(documentsRoot, device.folder);

    CopyTemplate(kSettingsFileName, device.settingsFile);
    char unit[16];
    std::snprintf(unit, sizeof(unit), "%d", DefaultUnit());
    ::WritePrivateProfileStringA("Contents", "Unit", unit, device.settingsFile);

    CopyTemplate(kScannerListFileName, device.scannerListFile);
    // A null value would delete the key instead of writing it.
    ::WritePrivateProfileStringA("Scanner1", "Model", modelName ? modelName : "", device.scannerListFile);

    CopyTemplate(kPageLogFileName, device.pageLogFile);
}

int DefaultUnit() noexcept
{
    UniqueHKey international;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, KEY_READ, international.put()) ==
        ERROR_SUCCESS)
    {
        // One byte short of the buffer, so the zero fill always terminates the text.
        char text[260] = {};
        DWORD size = sizeof(text) - 1;
        if (::RegQueryValueExA(international.get(), "iMeasure", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                               &size) == ERROR_SUCCESS)
        {
            // Leading decimal digits, 0 without any; strtol, unlike atoi, is defined on overflow.
            return static_cast<int>(std::strtol(text, nullptr, 10));
        }
    }
    return static_cast<int>(::GetPrivateProfileIntA("intl", "iMeasure", 0, "Win.ini"));
}

} // namespace uiext2
