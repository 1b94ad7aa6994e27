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

std::string_view Trimmed(std::string_view line) noexcept
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && blank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && blank(line.back()))
        line.remove_suffix(1);
    return line;
}

// Calls `visit(line)` for each line of `text`, trimmed, the unterminated last one included.
template <typename Visit> void EachLine(std::string_view text, Visit visit) noexcept
{
    while (!text.empty())
    {
        const size_t end = text.find('\n');
        visit(Trimmed(text.substr(0, end)));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

// A section's name, or empty for a line that is none.
std::string_view SectionName(std::string_view line) noexcept
{
    const size_t close = line.find(']');
    return !line.empty() && line.front() == '[' && close != std::string_view::npos ? Trimmed(line.substr(1, close - 1))
                                                                                   : std::string_view();
}

bool Parses(std::string_view line) noexcept
{
    return line.find('\0') == std::string_view::npos &&
           (line.empty() || line.front() == ';' || !SectionName(line).empty() || line.find('=') != line.npos);
}

bool SameName(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() &&
           ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

// What follows the last line end: the part of a line that was never ended.
std::string_view OpenTail(std::string_view text) noexcept
{
    const size_t end = text.rfind('\n');
    return end == std::string_view::npos ? text : text.substr(end + 1);
}

} // namespace

const char* CutCopyReason(std::string_view handed, std::string_view edited) noexcept
{
    if (IsBlankProfile(edited))
        return "emptied";
    // The profile functions end every line they write; a handed copy that ended inside its
    // last line and still does is as it was.
    const std::string_view tail = OpenTail(edited);
    if (!tail.empty() && tail != OpenTail(handed))
        return "cut inside a line";
    bool handedParses = true;
    bool lost = false;
    EachLine(handed,
             [&](std::string_view line)
             {
                 handedParses = handedParses && Parses(line);
                 const std::string_view section = SectionName(line);
                 if (section.empty() || lost)
                     return;
                 bool kept = false;
                 EachLine(edited,
                          [&](std::string_view other) { kept = kept || SameName(SectionName(other), section); });
                 lost = !kept;
             });
    if (lost)
        return "section lost";
    bool editedParses = true;
    EachLine(edited, [&](std::string_view line) { editedParses = editedParses && Parses(line); });
    return handedParses && !editedParses ? "does not parse" : nullptr;
}

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
        if (handed && error == ERROR_SUCCESS)
            error = folders.staging().Identity(kStagedFiles[i], placed_[i]);
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
        HandOffRecord().Save(folders.deviceName(), handed_, placed_, copied_);
    return ERROR_SUCCESS;
}

void StagingCopies::Adopt(const DeviceFolders& folders, const HandOffRecord& record) noexcept
{
    folders_ = &folders;
    for (int i = 0; i < kFiles; ++i)
    {
        placed_[i] = record.placed(i);
        copied_[i] = record.copied(i) && handed_[i].Assign(record.handed(i).data(), record.handed(i).size());
    }
}

bool StagingCopies::Finished() const noexcept
{
    for (const bool pending : pending_)
        if (pending)
            return false;
    return true;
}

size_t StagingCopies::CopyBack() noexcept
{
    if (!folders_)
        return 0; // nothing was handed over, nor taken over
    size_t changed = 0;
    for (int i = 0; folders_ && folders_->deviceHeld() && i < kFiles; ++i)
    {
        FileBytes edited;
        FileIdentity now;
        const DWORD read = copied_[i]
                               ? Retrying([&] { return folders_->staging().Read(kStagedFiles[i], edited, &now); })
                               : ERROR_FILE_NOT_FOUND;
        // A merge that failed only for a while waits for the next run, with its copy.
        const auto keep = [&](DWORD error)
        {
            pending_[i] = IsTransient(error) || error == ERROR_LOCK_FAILED;
            if (!pending_[i])
                return trace::CopyRefused(kStagedFiles[i], error);
            trace::CopyKept(kStagedFiles[i], error);
            pendingError_ = pendingError_ != ERROR_SUCCESS ? pendingError_ : error;
            return ULONG{0};
        };
        if (read != ERROR_SUCCESS)
        {
            if (read != ERROR_FILE_NOT_FOUND)
                keep(read);
            continue;
        }
        if (placed_[i].number == 0 || now.number != placed_[i].number)
        {
            trace::CopyIgnored(kStagedFiles[i], "not this run's");
            continue;
        }
        if (edited.text() == handed_[i].text())
            continue;
        if (const char* why = CutCopyReason(handed_[i].text(), edited.text()))
        {
            trace::CopyIgnored(kStagedFiles[i], why);
            continue;
        }
        MergeChange change(handed_[i], edited);
        const DWORD error = folders_->device().Update(kStagedFiles[i], &folders_->lock(), change);
        changed += error == ERROR_SUCCESS ? change.changed() : keep(error);
    }
    HandOffRecord::Keep(pending_);
    return changed;
}

} // namespace uiext2
