// The settings-store steps as a binding takes them: the device's folders opened once, then
// provisioning or the migration in them.
#pragma once

#include "device/settings_store.h"

#include <string>

namespace settings_steps
{

inline void Provision(const std::string& device, const char* model)
{
    uiext2::DeviceFolders folders;
    if (folders.NameDevice(device.c_str()) == ERROR_SUCCESS && folders.OpenDevice(true))
        uiext2::ProvisionDeviceFolder(folders, model);
}

inline void Migrate(const std::string& device)
{
    uiext2::DeviceFolders folders;
    if (folders.NameDevice(device.c_str()) == ERROR_SUCCESS && folders.OpenDevice(false))
        uiext2::MigrateScannerAddress(folders);
}

} // namespace settings_steps
