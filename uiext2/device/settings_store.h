// The per-device settings folder in the common documents folder: its three INI files,
// first-use provisioning from the driver package's templates, and the scanner address
// moved out of the registry. All text is ANSI, as the companion program reads it.
#pragma once

#include <windows.h>

#include "device/path_rules.h"
#include "device/safe_folder.h"

namespace uiext2
{

// The three settings-file paths of one device.
struct DeviceFilesRecord
{
    char settingsFile[MAX_PATH];    // ...\Velmora\WIA\<device>\VT_TWAIN1.ini
    char scannerListFile[MAX_PATH]; // ...\Velmora\WIA\<device>\RegList.ini
    char pageLogFile[MAX_PATH];     // ...\Velmora\WIA\<device>\VTTwainPageLog.ini
};

// True when the device name is one safe folder name in the system's ANSI code page (the
// code page the file functions read it in).
bool IsSafeDeviceName(const char* deviceName) noexcept;

// Composes the device's three paths into `files`. False, with `files` left as it was, when
// the device name is not one safe folder name or a path would not fit.
bool SetDeviceFiles(const char* deviceName, DeviceFilesRecord& files) noexcept;

// The device's folder and files under this machine's common documents folder. False when
// the folder cannot be found, or for a name SetDeviceFiles would refuse.
bool DevicePathsOf(const char* deviceName, DevicePaths& paths) noexcept;

// On first sight of a device (its settings file truly absent): the folder tree, the three
// template copies, Contents/Unit and Scanner1/Model. A settings file that exists but cannot
// be opened (held unshared, denied) counts as present. Nothing for a refused name, nor
// where one of the folders is a link. Each file is made under a temporary name with its key
// and then renamed into place only where no file of its name exists yet, so two hosts
// binding a new device at once end with one set of files.
void ProvisionDeviceFolder(const char* deviceName, const char* modelName) noexcept;

// Moves a ScannerAddress left under the device's imaging-class registry key into the
// device's settings file; the registry value is deleted only once the file in place holds
// it. A settings file that exists but cannot be read as ours is left alone, and the address
// with it in the registry. Nothing for a refused name.
void MigrateScannerAddress(const char* deviceName) noexcept;

// A device's settings folder and the folders above it, each held open while in use (see
// safe_folder.h).
struct HeldDeviceFolder
{
    OwnFolder root, vendor, devices, device;
};

// Opens <common documents>\Velmora\WIA\<device> and the folders above it, making them
// first when `create` is set. False when the name is refused or any of them is a link or is
// not where its path says: the device's settings are then left alone.
bool OpenDeviceFolder(const char* deviceName, bool create, HeldDeviceFolder& held) noexcept;

// The same for the folder of a DeviceFiles record's settings file.
bool OpenDeviceFolderOf(const DeviceFilesRecord& files, HeldDeviceFolder& held) noexcept;

// Why a settings edit could not begin: the device's folder, or one above it, is a link, is
// gone, or is not where its path says.
constexpr DWORD kErrorFolderNotOurs = ERROR_PATH_NOT_FOUND;

// A change of a device's settings file (see ProfileEdit): the private-profile writes go into
// a copy in this user's temporary folder, which then replaces the file's entry through the
// held device folder. A settings file that exists but cannot be read as ours is never
// replaced, and one that does not exist starts empty.
class SettingsFileEdit
{
public:
    explicit SettingsFileEdit(const DeviceFilesRecord& files) noexcept;
    SettingsFileEdit(const SettingsFileEdit&) = delete;
    SettingsFileEdit& operator=(const SettingsFileEdit&) = delete;

    // Why the edit could not begin (kErrorFolderNotOurs, or see ReadOwnFile); ERROR_SUCCESS
    // once begun.
    DWORD error() const noexcept { return error_; }
    // The copy, for the private-profile writes; null when the edit could not begin.
    const char* path() const noexcept { return error_ == ERROR_SUCCESS ? edit_.path() : nullptr; }
    // Puts the copy in place of the settings file; ERROR_SUCCESS once it is in place.
    DWORD Commit() noexcept { return error_ == ERROR_SUCCESS ? edit_.Commit() : error_; }

private:
    HeldDeviceFolder held_;
    ProfileEdit edit_;
    DWORD error_;
};

// The common documents and program files folders, never created here. False when the
// platform has none.
bool CommonDocumentsFolder(char (&path)[MAX_PATH]) noexcept;
bool ProgramFilesFolder(char (&path)[MAX_PATH]) noexcept;

// 0 (metric) or 1 (inch) from the user's regional settings.
int DefaultUnit() noexcept;

} // namespace uiext2
