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

// Puts a copy of the driver package's template `fileName` into the device folder, with one
// key written into it first when `section` is given. Without the template the file holds
// only that key; without a key either it is not made.
void PlaceTemplateCopy(const OwnFolder& folder, const char* fileName, const char* section = nullptr,
                       const char* key = nullptr, const char* value = nullptr) noexcept
{
    char programRoot[MAX_PATH];
    char source[MAX_PATH];
    FileBytes bytes;
    const bool copied = ProgramFilesFolder(programRoot) &&
                        FormatPath(source, sizeof(source), "%s\\WIA Scanner\\USB2\\%s", programRoot, fileName) &&
                        ReadFileBytes(source, bytes);
    if (!copied && !section)
        return;
    ReplacementFile file(folder, fileName);
    if (!file.Create(copied ? bytes.data() : nullptr, copied ? bytes.size() : 0))
        return;
    if (section)
        ::WritePrivateProfileStringA(section, key, value, file.path());
    file.Commit();
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

    HeldDeviceFolder held;
    if (!OpenDeviceFolder(deviceName, true, held))
        return;
    OwnFolder staging; // made here for the scan runs; existing already is fine
    staging.Open(held.vendor, "VT_WIA", true);

    char unit[16];
    std::snprintf(unit, sizeof(unit), "%d", DefaultUnit());
    PlaceTemplateCopy(held.device, kSettingsFileName, "Contents", "Unit", unit);
    // A null value would delete the key instead of writing it.
    PlaceTemplateCopy(held.device, kScannerListFileName, "Scanner1", "Model", modelName ? modelName : "");
    PlaceTemplateCopy(held.device, kPageLogFileName);
}

bool OpenDeviceFolder(const char* deviceName, bool create, HeldDeviceFolder& held) noexcept
{
    char documentsRoot[MAX_PATH];
    DevicePaths device;
    return CommonDocumentsFolder(documentsRoot) &&
           ComposeDevicePaths(documentsRoot, deviceName, device, IsSystemLeadByte) &&
           held.root.OpenRoot(documentsRoot) && held.vendor.Open(held.root, "Velmora", create) &&
           held.devices.Open(held.vendor, "WIA", create) && held.device.Open(held.devices, deviceName, create);
}

bool OpenDeviceFolderOf(const DeviceFilesRecord& files, HeldDeviceFolder& held) noexcept
{
    // The device name is the settings file's folder name; the record was composed from it.
    char folder[MAX_PATH];
    if (!FormatPath(folder, sizeof(folder), "%s", files.settingsFile))
        return false;
    char* const file = std::strrchr(folder, '\\');
    if (!file)
        return false;
    *file = '\0';
    const char* const name = std::strrchr(folder, '\\');
    DevicePaths device;
    char documentsRoot[MAX_PATH];
    return name && CommonDocumentsFolder(documentsRoot) &&
           ComposeDevicePaths(documentsRoot, name + 1, device, IsSystemLeadByte) &&
           std::strcmp(device.settingsFile, files.settingsFile) == 0 && OpenDeviceFolder(name + 1, false, held);
}

SettingsFileEdit::SettingsFileEdit(const DeviceFilesRecord& files) noexcept
    : opened_(OpenDeviceFolderOf(files, held_)), copy_(held_.device, kSettingsFileName), begun_(false)
{
    if (!opened_)
        return;
    // A settings file that is not plainly ours (a link, or a file with a second name
    // somewhere else) is not read: its copy then holds only what the page writes.
    FileBytes bytes;
    const bool read = ReadOwnFile(held_.device, kSettingsFileName, bytes);
    begun_ = copy_.Create(read ? bytes.data() : nullptr, read ? bytes.size() : 0);
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
