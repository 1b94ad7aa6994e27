// What a scan run keeps, from its copy-out until its copy-back is done, so that a run whose
// host died is finished by the next one: which device its copies belong to and what it
// handed over.
#pragma once

#include <windows.h>

#include "device/own_folder.h"
#include "support/unique.h"

namespace uiext2
{

// The record lives in this user's registry, under the run key's "HandOff" subkey: it survives
// the process, only this user's processes write it, and only this user's runs see it, on
// whichever logon session. (Beside the device's files, in the common documents folder, any
// local user could plant one.) A run that holds the pipe's name is the only run of the
// machine, so a record it finds is one a dead run left.
class HandOffRecord
{
public:
    static constexpr int kFiles = 3;

    // Records the device and, for each of its three files that was handed over, the bytes
    // handed and the identity of the copy placed. False when the record could not be written
    // whole: the run then cannot be finished by another, and says nothing else.
    bool Save(const char* deviceName, const FileBytes (&handed)[kFiles], const FileIdentity (&placed)[kFiles],
              const bool (&copied)[kFiles]) noexcept;
    // Adds the companion the run started: its process ID and creation time, so that a later
    // run knows it while it lives (an ID alone may pass to another process).
    static void NoteCompanion(HANDLE process) noexcept;

    // Reads a record left by an earlier run of this user; false when there is none.
    bool Load() noexcept;
    const char* deviceName() const noexcept { return device_; }
    const FileBytes& handed(int file) const noexcept { return handed_[file]; }
    const FileIdentity& placed(int file) const noexcept { return placed_[file]; }
    bool copied(int file) const noexcept { return copied_[file]; }
    // The recorded companion, opened, while it still runs; null when it is gone or none was noted.
    HANDLE OpenLiveCompanion() const noexcept;

    // Keeps the files still `pending` in the record and forgets the others; with none
    // pending the record goes: the run it stands for is finished.
    static void Keep(const bool (&pending)[kFiles]) noexcept;
    static void Clear() noexcept;

private:
    char device_[MAX_PATH] = {};
    FileBytes handed_[kFiles];
    FileIdentity placed_[kFiles];
    bool copied_[kFiles] = {};
    DWORD companionId_ = 0;
    FILETIME companionCreated_ = {};
};

} // namespace uiext2
