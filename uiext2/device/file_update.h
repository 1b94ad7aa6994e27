// The one way a file of ours is changed, by every writer: read it denying writes, compute
// the new bytes in memory, write them into a new file beside it, and under the device's lock
// rename that file into place only while the old one is still the one read.
#pragma once

#include <windows.h>

#include "device/own_file.h"
#include "device/settings_lock.h"

#include <string>

namespace uiext2
{

// How long a writer keeps trying while another program holds the file (sharing it or not),
// or another writer of ours holds the lock, and how long it waits between tries: a reader
// such as the companion program, a virus scanner or an indexer lets go within moments.
constexpr DWORD kUpdateRetryMs = 2000;
constexpr DWORD kUpdatePauseMs = 50;

// What a writer makes of the file.
class FileChange
{
public:
    // `current` is null when there is no file (only then does a writer start empty). Sets
    // `write` and `next` to put `next` in place; leaves `write` false to change nothing.
    // ERROR_SUCCESS, or the error that ends the update.
    virtual DWORD Compute(const FileBytes* current, std::string& next, bool& write) noexcept = 0;

protected:
    ~FileChange() = default;
};

// Changes `name` in `folder`. A file that exists but cannot be read as ours (see
// OpenOwnFile) is never replaced; a file that changed between the read and the rename is
// read again and the change computed anew; a file that appeared where there was none is not
// replaced but read. Sharing violations, access denied by a holder that shares deletion,
// and a lock held elsewhere are tried again for up to kUpdateRetryMs. `lock` may be null for
// files that only one run at a time writes (the staging copies). ERROR_SUCCESS once the new
// file is in place, or when nothing had to change; every other failure is returned.
DWORD UpdateOwnFile(const OwnFolder& folder, const char* name, const SettingsLock* lock, FileChange& change) noexcept;

// Puts `bytes` in place of `name` whatever it holds now (within the rules above).
DWORD PutOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes, const SettingsLock* lock) noexcept;

// Puts `bytes` in place as `name` only where no file of that name exists; one that exists
// stays as it is, and that is no failure.
DWORD PlaceNewOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes,
                      const SettingsLock* lock) noexcept;

} // namespace uiext2
