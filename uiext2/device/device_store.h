// A device's folders in the common documents folder, opened once and held for as long as a
// binding or a scan run works in them and handed by reference to whatever works there, and
// the lock that every writer of the device's files takes.
#pragma once

#include <windows.h>

#include "device/own_folder.h"
#include "support/unique.h"

namespace uiext2
{

// A named mutex per device in the global namespace: the Settings pages, scan runs and
// bindings of every logon session and every user of the machine share one device's folder,
// so they share its lock. Any local user may create the name first: it is made with an
// access list that lets every user take and give it (and nothing more), at low integrity so
// that a sandboxed host takes it too; one made by someone else that we may not take counts
// as held elsewhere, and the writer reports the failure once its retries run out. A host
// that dies holding it abandons it, and the next writer takes it.
class SettingsLock
{
public:
    // False for a name that cannot name the lock (the device's name is checked before).
    bool Open(const char* deviceName) noexcept;

    // Takes the lock, waiting at most `milliseconds`; false when it is held elsewhere or
    // cannot be taken.
    bool Take(DWORD milliseconds) const noexcept;
    void Give() const noexcept;

private:
    UniqueHandle mutex_;
    mutable bool taken_ = false; // by this object's holder; the handle itself never changes
};

// Holds the lock for a scope; with no lock, takes nothing.
class SettingsLockScope
{
public:
    SettingsLockScope(const SettingsLock* lock, DWORD milliseconds) noexcept
        : lock_(lock), taken_(lock && lock->Take(milliseconds))
    {
    }
    ~SettingsLockScope()
    {
        if (taken_)
            lock_->Give();
    }
    SettingsLockScope(const SettingsLockScope&) = delete;
    SettingsLockScope& operator=(const SettingsLockScope&) = delete;

    bool taken() const noexcept { return taken_; }

private:
    const SettingsLock* lock_;
    bool taken_;
};

// Whether a byte of the system's ANSI code page starts a double-byte character.
bool IsSystemLeadByte(unsigned char byte) noexcept;

// The program files folder, never created here. False when the platform has none.
bool ProgramFilesFolder(char (&path)[MAX_PATH]) noexcept;

// <documents>\Velmora, its "WIA" folder and the device's folder in it, the staging folder
// "VT_WIA" and the image drop folder "VT_WIA_COPY". Each is opened at most once, relative to
// its parent's held handle (see own_folder.h), and held until the object goes.
class DeviceFolders
{
public:
    // Takes the device's name, checked once: one safe folder name in the system's ANSI code
    // page, whose paths the companion opens fit MAX_PATH. ERROR_INVALID_NAME,
    // ERROR_FILENAME_EXCED_RANGE, ERROR_PATH_NOT_FOUND without a documents folder; nothing
    // is opened or made.
    DWORD NameDevice(const char* deviceName) noexcept;

    // The named device's folder and those above it, made first when `create` is set, and
    // the device's settings lock. False when no name was taken, or one of them is a link or
    // not where it belongs: the device's settings are then left alone.
    bool OpenDevice(bool create) noexcept;
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
    char documents_[MAX_PATH] = {};
    char deviceName_[MAX_PATH] = {};
};

} // namespace uiext2
