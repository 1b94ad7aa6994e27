// The device's three settings files handed to the companion program as copies in the staging
// folder, and what the companion changed in them brought back.
#pragma once

#include <windows.h>

#include "device/device_store.h"
#include "device/own_folder.h"
#include "scan/hand_off_record.h"

#include <string_view>

namespace uiext2
{

// How long the clean-up waits for the companion to exit once the scan has ended, so that
// what it writes as it closes comes back too.
constexpr DWORD kCompanionExitWaitMs = 5000;

// Why a staging copy, as the companion left it against what it was handed, is no
// instruction: a copy cut short (a companion killed while it rewrote it, a full disk) would
// remove every key after the cut from the device's file and write the cut value. "emptied",
// "cut inside a line", "section lost" (a section the handed copy had is gone entirely), or
// "does not parse" (a line that is neither blank, a section, a key nor a comment, where the
// handed copy had none); null when it may be merged. A key removed on purpose is no cut.
const char* CutCopyReason(std::string_view handed, std::string_view edited) noexcept;

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

    // For each copy that was handed over and is still the file placed then (rewritten in
    // place, as the profile functions do, but not replaced by another run), read denying
    // writes: only the keys the companion added, changed or removed go into the device's
    // file as it is now, through the one update of a file. What the Settings page applied
    // meanwhile stays, except a key the companion changed too, where the companion's value is
    // the later word. A copy that is no instruction (CutCopyReason) changes nothing. A copy
    // whose merge failed for a while only (held past the retries, the lock unavailable) stays
    // in the hand-off record with its copy, for the next run; the rest of the record goes.
    // Returns the number of lines changed in the device's files.
    size_t CopyBack() noexcept;

    // False while a copy waits in the record for a later merge.
    bool Finished() const noexcept;
    // The first error that left a copy waiting.
    DWORD pendingError() const noexcept { return pendingError_; }

private:
    static constexpr int kFiles = HandOffRecord::kFiles;
    const DeviceFolders* folders_ = nullptr;
    FileBytes handed_[kFiles];    // each copy as the companion was handed it
    FileIdentity placed_[kFiles]; // and which file it was (its number counts)
    bool copied_[kFiles] = {};
    bool pending_[kFiles] = {};
    DWORD pendingError_ = ERROR_SUCCESS;
};

} // namespace uiext2
