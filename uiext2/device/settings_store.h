// The per-device settings folder in the common documents folder: its three INI files,
// first-use provisioning from the driver package's templates, the scanner address moved out
// of the registry, and the keys its writers put into the settings file. All text is ANSI, as
// the companion program reads it.
#pragma once

#include <windows.h>

#include "device/device_store.h"
#include "device/path_rules.h"

#include <cstddef>

namespace uiext2
{

// On first sight of a device (its settings file truly absent): the staging folder, the three
// template copies, Contents/Unit and Scanner1/Model. A settings file that exists but cannot
// be opened (held unshared, denied) counts as present. Each file is put in place only where
// no file of its name exists yet, so two hosts binding a new device at once end with one set
// of files. Nothing where the device's folder is not held.
void ProvisionDeviceFolder(DeviceFolders& folders, const char* modelName) noexcept;

// Moves a ScannerAddress left under the device's imaging-class registry key into the
// device's settings file; the registry value is deleted only once the file in place holds
// it. A settings file that exists but cannot be read as ours is left alone, and the address
// with it in the registry.
void MigrateScannerAddress(const DeviceFolders& folders) noexcept;

// One key a writer puts into the settings file. `always` false: only when the file lacks it.
struct SettingsKey
{
    const char* section;
    const char* key;
    const char* value;
    bool always;
};

// Writes `count` keys into the device's settings file through the one update of a file (see
// OwnFolder::Update). ERROR_SUCCESS once they are in place (or nothing had to change), with
// `written` (when given) the keys that were written; every failure is returned.
DWORD WriteSettingsKeys(const DeviceFolders& folders, const SettingsKey* keys, size_t count,
                        size_t* written = nullptr) noexcept;

// Reads the device's settings file, denying writes while it reads, trying again while
// another program holds it. ERROR_FILE_NOT_FOUND when there is none.
DWORD ReadSettingsFile(const DeviceFolders& folders, FileBytes& bytes) noexcept;

// 0 (metric) or 1 (inch) from the user's regional settings.
int DefaultUnit() noexcept;

} // namespace uiext2
