// A device's folders in the common documents folder, opened once and held for as long as a
// binding or a scan run works in them and handed by reference to whatever works there, and
// the lock that every writer of the device's files takes.
#pragma once

#include <windows.h>

#include "device/own_folder.h"
#include "support/unique.h"

namespace uiext2
{

// The lock of a device's files: a file of its own in the held device folder (kLockFileName),
// opened without sharing and deleted as it closes, or as its holder dies. The Settings pages,
// scan runs and bindings of every logon session and user share one device's folder, so they
// share this lock; and only who may make entries in that folder, and so could change the
// device's files anyway, can hold it. (A named object in the global namespace, as before,
// let any local user take the name first or hold it for good.)
class SettingsLock
{
public:
    // Takes the device folder, held by the same owner as this object.
    void Open(const OwnFolder& device) const noexcept { device_ = &device; }

    // Takes the lock, trying again while another holds it, for at most `milliseconds`.
    // ERROR_SUCCESS; ERROR_LOCK_VIOLATION when still held elsewhere; ERROR_LOCK_FAILED when
    // the lock's name is taken by an entry that is no file of ours; or the platform's error.
    DWORD Take(DWORD milliseconds) const noexcept;
    void Give() const noexcept { file_.reset(); }

private:
    mutable const OwnFolder* device_ = nullptr;
    mutable UniqueFile file_; // held while taken
};

// Holds the lock for a scope; with no lock, takes nothing.
class SettingsLockScope
{
public:
    SettingsLockScope(const SettingsLock* lock, DWORD milliseconds) noexcept
        : lock_(lock), error_(lock ? lock->Take(milliseconds) : ERROR_SUCCESS), taken_(lock && error_ == ERROR_SUCCESS)
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
    // Why it was not taken.
    DWORD error() const noexcept { return error_; }

private:
    const SettingsLock* lock_;
    DWORD error_;
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
    // Bound to the device folder as it is asked for: these folders may be moved into their
    // holder after they were named.
    const SettingsLock& lock() const noexcept
    {
        lock_.Open(device_);
        return lock_;
    }

private:
    bool OpenVendor(bool create) noexcept;

    OwnFolder root_, vendor_, devices_, device_, staging_, drop_;
    mutable SettingsLock lock_;
    char documents_[MAX_PATH] = {};
    char deviceName_[MAX_PATH] = {};
};

} // namespace uiext2
