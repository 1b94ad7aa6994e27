// The lock every writer of ours takes around the last step of changing a device's file:
// checking that the file is still the one it read, and renaming the new one into place.
#pragma once

#include <windows.h>

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

} // namespace uiext2
