// What a scan run sets up for the companion program and takes down again: the run values
// in the registry and the image drop folder (the staging copies: staging_copies.h).
#pragma once

#include <windows.h>

#include "device/device_store.h"
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

// The image drop folder, <common documents>\Velmora\VT_WIA_COPY, held while the run uses
// it. A link in its place is not followed: the run goes without the folder.
class ImageDropFolder
{
public:
    // Makes (or finds) the folder among the run's folders; false when it cannot be used.
    bool Create(DeviceFolders& folders) noexcept;

    // Deletes its "image.*" entries, at most 2001 of them (failed deletions count too),
    // each through a handle on the entry itself, then removes the folder, which stays
    // while other entries remain. Nothing when Create did not succeed.
    void Empty() noexcept;

private:
    DeviceFolders* folders_ = nullptr;
};

} // namespace uiext2
