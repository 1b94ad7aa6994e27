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

// Puts a copy of the driver package's template `fileName` into the device folder, with one
// key written into it first when `section` is given, only where no file of that name exists
// yet: a host binding the same new device at the same moment may have put its own there
// first, and that one stays. Without the template the file holds only that key; without a
// key either it is not made.
void PlaceTemplateCopy(const OwnFolder& folder, const char* fileName, const char* section = nullptr,
                       const char* key = nullptr, const char* value = nullptr) noexcept
{
    char programRoot[MAX_PATH];
    char source[MAX_PATH];
    FileBytes bytes;
    const bool copied = ProgramFilesFolder(programRoot) &&
                        FormatPath(source, sizeof(source), "%s\\WIA Scanner\\USB2\\%s", programRoot, fileName) &&
                        ReadFileBytes(source, bytes);
    if (!section)
    {
        if (copied)
            PlaceNewOwnFile(folder, fileName, bytes);
        return;
    }
    const FileBytes empty;
    ProfileEdit edit;
    if (edit.Begin(folder, fileName, copied ? &bytes : &empty) == ERROR_SUCCESS &&
        ::WritePrivateProfileStringA(section, key, value, edit.path()))
        edit.Commit();
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
    // The existence test looks at the entry relative to the held device folder: only "not
    // found" means absent. A file held open by the companion program or one we may not read
    // exists, and is never replaced by a template.
    HeldDeviceFolder held;
    if (!IsSafeDeviceName(deviceName) || !OpenDeviceFolder(deviceName, true, held) ||
        OwnEntryExists(held.device, kSettingsFileName))
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
    : error_(OpenDeviceFolderOf(files, held_) ? ERROR_SUCCESS : kErrorFolderNotOurs)
{
    if (error_ == ERROR_SUCCESS)
        error_ = edit_.Begin(held_.device, kSettingsFileName);
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
