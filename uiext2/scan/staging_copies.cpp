// Staging copies out before the companion starts, and key by key back after it has gone.
#include "scan/staging_copies.h"

#include "trace/trace_events.h"

#include "device/path_rules.h"
#include "device/profile_merge.h"
#include "device/settings_store.h"
#include "device/system_code_page.h"

#include <string>
#include <string_view>

namespace uiext2
{

namespace
{

constexpr const auto& kStagedFiles = kDeviceFileNames;

// Removes the copy `name`. An entry that cannot be deleted as it stands (a link entry that
// the platform will not open as itself) is first replaced by an empty file of ours, which
// then goes.
DWORD RemoveCopy(const OwnFolder& staging, const char* name) noexcept
{
    if (!staging.Exists(name))
        return ERROR_SUCCESS;
    DWORD error = Retrying([&] { return staging.Delete(name); });
    if (error != kErrorNotOurs)
        return error;
    const FileBytes empty;
    error = staging.Replace(name, empty);
    return error == ERROR_SUCCESS ? Retrying([&] { return staging.Delete(name); }) : error;
}

// The companion's changes against what it was handed, into the device's file as it is now.
class MergeChange final : public FileChange
{
public:
    MergeChange(const FileBytes& handed, const FileBytes& edited) noexcept : handed_(handed), edited_(edited) {}

    DWORD Compute(const FileBytes* current, std::string& next, bool& write) noexcept override
    {
        const std::string_view now = current ? current->text() : std::string_view();
        // Unsure: the copy stays in the staging folder, as an unmerged copy does.
        const ProfileUpdate update =
            MergeProfileChanges(handed_.text(), edited_.text(), now, next, &SystemCodePage(), &changed_);
        if (update != ProfileUpdate::Written)
            return update == ProfileUpdate::Unsure ? kErrorUnsureProfile : ERROR_NOT_ENOUGH_MEMORY;
        write = next != now;
        return ERROR_SUCCESS;
    }

    size_t changed() const noexcept { return changed_; }

private:
    const FileBytes& handed_;
    const FileBytes& edited_;
    size_t changed_ = 0;
};

} // namespace

DWORD StagingCopies::CopyOut(DeviceFolders& folders) noexcept
{
    folders_ = &folders;
    // Without its own staging folder the companion would read whatever stands in its place.
    if (!folders.OpenStaging(true))
        return ERROR_PATH_NOT_FOUND;
    for (int i = 0; i < kFiles; ++i)
    {
        FileBytes bytes;
        DWORD error = ERROR_FILE_NOT_FOUND;
        const bool handed =
            folders.deviceHeld() &&
            (error = Retrying([&] { return folders.device().Read(kStagedFiles[i], bytes); })) == ERROR_SUCCESS;
        if (handed)
            error = folders.staging().Replace(kStagedFiles[i], bytes);
        if (error == ERROR_SUCCESS)
        {
            copied_[i] = true;
            handed_[i] = std::move(bytes);
            continue;
        }
        // Held by another program past the retries: removing it would fail the same way.
        if (handed && IsTransient(error))
            return error;
        // No copy at all rather than a stale one, of another device or another user.
        trace::CopyRefused(kStagedFiles[i], error);
        const DWORD removed = RemoveCopy(folders.staging(), kStagedFiles[i]);
        if (removed != ERROR_SUCCESS)
            return handed ? error : removed;
    }
    if (folders.deviceHeld())
        HandOffRecord().Save(folders.deviceName(), handed_, copied_);
    return ERROR_SUCCESS;
}

void StagingCopies::Adopt(const DeviceFolders& folders, const HandOffRecord& record) noexcept
{
    folders_ = &folders;
    for (int i = 0; i < kFiles; ++i)
        copied_[i] = record.copied(i) && handed_[i].Assign(record.handed(i).data(), record.handed(i).size());
}

size_t StagingCopies::CopyBack() noexcept
{
    size_t changed = 0;
    for (int i = 0; folders_ && folders_->deviceHeld() && i < kFiles; ++i)
    {
        FileBytes edited;
        if (!copied_[i] ||
            Retrying([&] { return folders_->staging().Read(kStagedFiles[i], edited); }) != ERROR_SUCCESS ||
            IsBlankProfile(edited.text()) || edited.text() == handed_[i].text())
            continue;
        MergeChange change(handed_[i], edited);
        const DWORD error = folders_->device().Update(kStagedFiles[i], &folders_->lock(), change);
        changed += error == ERROR_SUCCESS ? change.changed() : trace::CopyRefused(kStagedFiles[i], error);
    }
    HandOffRecord::Clear();
    return changed;
}

} // namespace uiext2
