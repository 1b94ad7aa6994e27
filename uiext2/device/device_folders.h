// A device's folders in the common documents folder, opened once and held for as long as a
// binding or a scan run works in them, and handed by reference to whatever works there.
#pragma once

#include <windows.h>

#include "device/held_folder.h"
#include "device/settings_lock.h"

namespace uiext2
{

// <documents>\Velmora, its "WIA" folder and the device's folder in it, the staging folder
// "VT_WIA" and the image drop folder "VT_WIA_COPY". Each is opened at most once, relative to
// its parent's held handle (see held_folder.h), and held until the object goes.
class DeviceFolders
{
public:
    // True when the device name is one safe folder name in the system's ANSI code page and
    // the paths the companion program opens in the device's folder fit MAX_PATH.
    static bool Fits(const char* deviceName) noexcept;

    // The device's folder and those above it, made first when `create` is set, and the
    // device's settings lock. False when the name does not fit, or one of them is a link or
    // not where it belongs: the device's settings are then left alone.
    bool OpenDevice(const char* deviceName, bool create) noexcept;
    // The staging and drop folders, made first when `create` is set. False when they cannot
    // be used.
    bool OpenStaging(bool create) noexcept;
    bool OpenDrop(bool create) noexcept;
    // Removes the drop folder when it is empty, and lets go of it.
    void RemoveDropIfEmpty() noexcept;

    bool deviceHeld() const noexcept { return device_.held(); }
    const char* deviceName() const noexcept { return deviceName_; }
    const OwnFolder& device() const noexcept { return device_; }
    const OwnFolder& staging() const noexcept { return staging_; }
    const OwnFolder& drop() const noexcept { return drop_; }
    const SettingsLock& lock() const noexcept { return lock_; }

private:
    bool OpenVendor(bool create) noexcept;

    OwnFolder root_, vendor_, devices_, device_, staging_, drop_;
    SettingsLock lock_;
    char deviceName_[MAX_PATH] = {};
};

// The common documents and program files folders, never created here. False when the
// platform has none.
bool CommonDocumentsFolder(char (&path)[MAX_PATH]) noexcept;
bool ProgramFilesFolder(char (&path)[MAX_PATH]) noexcept;

} // namespace uiext2
