// The read, compute, check and rename of a file of ours, and its retries.
#include "device/file_update.h"

#include "device/replacement_file.h"

namespace uiext2
{

namespace
{

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file that never stays still is given up as in use after this many fresh reads.
constexpr int kMaxRecomputes = 16;

enum class Next
{
    Done,      // the result stands
    Retry,     // after a pause, while time is left
    Recompute, // at once: the file changed under us
};

bool Transient(DWORD error) noexcept
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

DWORD UpdateOnce(const OwnFolder& folder, const char* name, const SettingsLock* lock, FileChange& change,
                 DWORD lockWait, Next& next) noexcept
{
    next = Next::Done;
    FileBytes current;
    FileIdentity read;
    DWORD error = ERROR_SUCCESS;
    const bool exists = ReadOwnFile(folder, name, current, &error, &read);
    if (!exists && error != ERROR_FILE_NOT_FOUND)
    {
        next = Transient(error) ? Next::Retry : Next::Done;
        return error;
    }
    std::string bytes;
    bool write = false;
    error = change.Compute(exists ? &current : nullptr, bytes, write);
    if (error != ERROR_SUCCESS || !write)
        return error;
    if (exists && bytes == current.text())
        return ERROR_SUCCESS;

    // The old file, for its attributes and (when it is ours) its access list.
    UniqueFile old;
    if (exists && (error = OpenOwnFile(folder, name, READ_CONTROL, kShareAll, old)) != ERROR_SUCCESS)
    {
        next = Transient(error) ? Next::Retry : Next::Recompute;
        return error;
    }
    ReplacementFile file(folder, name);
    error = file.Create(bytes.data(), static_cast<DWORD>(bytes.size()), old ? old.get() : nullptr);
    old.reset(); // an open file cannot be replaced by the classic rename, even by its own opener
    if (error != ERROR_SUCCESS)
        return error;

    // The check and the rename are one step for every writer of ours.
    SettingsLockScope scope(lock, lockWait);
    if (lock && !scope.taken())
    {
        next = Next::Retry;
        return ERROR_LOCK_VIOLATION;
    }
    FileIdentity now;
    const DWORD state = IdentityOf(folder, name, now);
    if (exists ? state != ERROR_SUCCESS || now != read : state != ERROR_FILE_NOT_FOUND)
    {
        next = Next::Recompute;
        return ERROR_ALREADY_EXISTS;
    }
    error = file.Commit(exists);
    if (error == ERROR_ALREADY_EXISTS)
        next = Next::Recompute;
    if (Transient(error))
        next = Next::Retry;
    return error;
}

class WholeFile final : public FileChange
{
public:
    WholeFile(const FileBytes& bytes, bool onlyWhereNone) noexcept : bytes_(bytes), onlyWhereNone_(onlyWhereNone) {}

    DWORD Compute(const FileBytes* current, std::string& next, bool& write) noexcept override
    {
        if (current && onlyWhereNone_)
            return ERROR_SUCCESS;
        try
        {
            next.assign(bytes_.text());
        }
        catch (...)
        {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        write = true;
        return ERROR_SUCCESS;
    }

private:
    const FileBytes& bytes_;
    bool onlyWhereNone_;
};

} // namespace

DWORD UpdateOwnFile(const OwnFolder& folder, const char* name, const SettingsLock* lock, FileChange& change) noexcept
{
    const ULONGLONG start = ::GetTickCount64();
    int recomputes = 0;
    for (;;)
    {
        const ULONGLONG spent = ::GetTickCount64() - start;
        const DWORD left = spent < kUpdateRetryMs ? static_cast<DWORD>(kUpdateRetryMs - spent) : 0;
        Next next = Next::Done;
        const DWORD error = UpdateOnce(folder, name, lock, change, left, next);
        if (next == Next::Recompute && ++recomputes < kMaxRecomputes)
            continue;
        if (next != Next::Retry || left == 0)
            return next == Next::Recompute ? ERROR_SHARING_VIOLATION : error;
        ::Sleep(left < kUpdatePauseMs ? left : kUpdatePauseMs);
    }
}

DWORD PutOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes, const SettingsLock* lock) noexcept
{
    WholeFile change(bytes, false);
    return UpdateOwnFile(folder, name, lock, change);
}

DWORD PlaceNewOwnFile(const OwnFolder& folder, const char* name, const FileBytes& bytes,
                      const SettingsLock* lock) noexcept
{
    WholeFile change(bytes, true);
    return UpdateOwnFile(folder, name, lock, change);
}

} // namespace uiext2
