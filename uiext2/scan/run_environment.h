// What a scan run sets up for the companion program and takes down again: the run values
// in the registry, the staging copies of the device's settings, the image drop folder.
#pragma once

#include <windows.h>

#include "device/settings_store.h"
#include "support/unique.h"

namespace uiext2
{

// "Application", "HelpPath" and "LanguageDll" under the per-user run key, each stored
// without its terminator. Delete() removes the three values; the key stays.
class RunValues
{
public:
    void Publish(const char* application, const char* helpPath, const char* languageDll) noexcept;
    void Delete() noexcept;

private:
    UniqueHKey key_;
};

// The device's three settings files copied to the staging folder for the companion, and
// the companion's changes to them brought back. The device folder and the staging folder
// are held for the whole run, and each copy replaces its directory entry (see
// device/safe_folder.h): a link in place of either folder, or a hard link in place of a
// copy, leads nowhere.
class StagingCopies
{
public:
    // False, with nothing copied, when either folder cannot be used.
    bool CopyOut(const DeviceFilesRecord& device) noexcept;
    // For each copy that was copied out and that the companion changed, only the keys it
    // added, changed or removed go into the device's file as it is now: what the Settings
    // page applied meanwhile stays, except a key the companion changed too, where the
    // companion's value is the later word. A copy left from an earlier run, of another
    // device perhaps, never comes back; a device file that is there but cannot be read as
    // ours is left as it is. The number of keys that went into the device's files.
    ULONG CopyBack() noexcept;

private:
    ULONG MergeBack(int file, const FileBytes& edited) noexcept;

    static constexpr int kFiles = 3;
    HeldDeviceFolder device_;
    OwnFolder root_, vendor_, staging_;
    FileBytes handed_[kFiles]; // each copy as the companion was handed it
    bool copied_[kFiles] = {};
};

// The image drop folder, <common documents>\Velmora\VT_WIA_COPY, held while the run uses
// it. A link in its place is not followed: the run goes without the folder.
class ImageDropFolder
{
public:
    // Makes (or finds) the folder; false when it cannot be used.
    bool Create() noexcept;

    // Deletes its "image.*" entries, at most 2001 of them (failed deletions count too),
    // each through a handle on the entry itself, then removes the folder, which stays
    // while other entries remain. Nothing when Create did not succeed.
    void Empty() noexcept;

private:
    OwnFolder root_, vendor_, drop_;
};

} // namespace uiext2
