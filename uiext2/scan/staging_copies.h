// The device's three settings files handed to the companion program as copies in the staging
// folder, and what the companion changed in them brought back.
#pragma once

#include <windows.h>

#include "device/device_store.h"
#include "device/own_folder.h"
#include "scan/hand_off_record.h"

namespace uiext2
{

// How long the clean-up waits for the companion to exit once the scan has ended, so that
// what it writes as it closes comes back too.
constexpr DWORD kCompanionExitWaitMs = 5000;

class StagingCopies
{
public:
    // Makes every copy in the staging folder this device's before the companion starts: each
    // is replaced, through the folder's handle, by the device's file, or removed where the
    // device has no file we can hand over (none, one that is not ours, a device whose name
    // cannot name a folder). A copy that another user put there lends nothing: it is
    // replaced as any other. ERROR_SUCCESS; else the error of a copy that could be neither
    // replaced nor removed, or of a staging folder that cannot be used: the companion must
    // then not start. What was handed over is recorded (see HandOffRecord) until CopyBack.
    DWORD CopyOut(DeviceFolders& folders) noexcept;

    // Takes over the hand-off a dead run recorded, for the device whose folders are given, so
    // that CopyBack finishes it as that run's own would have.
    void Adopt(const DeviceFolders& folders, const HandOffRecord& record) noexcept;

    // For each copy that was handed over, read denying writes: only the keys the companion
    // added, changed or removed go into the device's file as it is now, through the one
    // update of a file. What the Settings page applied meanwhile stays, except a key the
    // companion changed too, where the companion's value is the later word. A copy that was
    // emptied (no bytes, or blank lines alone: a companion cut short while it rewrote it)
    // counts as no change. The hand-off record goes. Returns the number of lines changed in
    // the device's files.
    size_t CopyBack() noexcept;

private:
    static constexpr int kFiles = HandOffRecord::kFiles;
    const DeviceFolders* folders_ = nullptr;
    FileBytes handed_[kFiles]; // each copy as the companion was handed it
    bool copied_[kFiles] = {};
};

} // namespace uiext2
