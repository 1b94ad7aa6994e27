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
// the companion's copies brought back over them.
class StagingCopies
{
public:
    // False, with nothing copied, when the staging paths cannot be composed.
    bool CopyOut(const DeviceFilesRecord& device) noexcept;
    // Only the files that were copied out come back: a copy left from an earlier run, of
    // another device perhaps, must never replace this device's settings.
    void CopyBack() noexcept;

private:
    static constexpr int kFiles = 3;
    char device_[kFiles][MAX_PATH] = {};
    char staging_[kFiles][MAX_PATH] = {};
    bool copied_[kFiles] = {};
};

// The image drop folder: <common documents>\Velmora\VT_WIA_COPY. False when the common
// documents folder is unknown.
bool ImageDropFolderPath(char (&path)[MAX_PATH]) noexcept;
void CreateImageDropFolder() noexcept;

// Deletes the "image.*" entries of `folder`, at most 2001 of them (failed deletions
// count too), then removes the folder, which stays while other entries remain.
void EmptyImageDropFolder(const char* folder) noexcept;

} // namespace uiext2
