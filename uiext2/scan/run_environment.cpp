// The run values, staging copies and image drop folder of a scan run.
#include "scan/run_environment.h"

#include "device/folder_entries.h"
#include "device/path_rules.h"
#include "device/profile_merge.h"
#include "device/safe_folder.h"
#include "scan/scan_names.h"

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace uiext2
{

namespace
{

constexpr int kMaxDropDeletions = 2001;

// Our folders directly below <documents>\Velmora: "\Velmora\VT_WIA" names "VT_WIA".
const char* LastName(const char* relative) noexcept
{
    return std::strrchr(relative, '\\') + 1;
}

// <documents>\Velmora and the folder of ours below it, made when absent and held.
bool OpenVendorFolder(OwnFolder& root, OwnFolder& vendor, OwnFolder& below, const char* relative) noexcept
{
    char documents[MAX_PATH];
    return CommonDocumentsFolder(documents) && root.OpenRoot(documents) &&
           vendor.Open(root, LastName(kVendorFolder), true) && below.Open(vendor, LastName(relative), true);
}

void SetText(HKEY key, const char* name, const char* text) noexcept
{
    // Handed over without the terminator, as the companion expects to add its own. (The
    // platform's A function still stores one when the byte after the text is a NUL.)
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)));
}

// "image.*" as the search pattern read it: "image" with any extension, or none.
bool IsDropEntry(const ListedEntry& entry) noexcept
{
    constexpr wchar_t kStem[] = L"image";
    constexpr int kStemLength = 5;
    const int length = entry.nameBytes / static_cast<int>(sizeof(wchar_t));
    return length >= kStemLength &&
           ::CompareStringOrdinal(entry.name, kStemLength, kStem, kStemLength, TRUE) == CSTR_EQUAL &&
           (length == kStemLength || entry.name[kStemLength] == L'.');
}

constexpr const char* kStagedFiles[] = {kSettingsFileName, kScannerListFileName, kPageLogFileName};

std::string_view View(const FileBytes& bytes) noexcept
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsLeadByte(unsigned char byte) noexcept
{
    return ::IsDBCSLeadByte(byte) != FALSE;
}

} // namespace

void RunValues::Publish(const char* application, const char* helpPath, const char* languageDll) noexcept
{
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          key_.put(), nullptr) != ERROR_SUCCESS)
    {
        key_.release(); // a failed call may leave anything in the slot
        return;
    }
    SetText(key_.get(), kApplicationValue, application);
    SetText(key_.get(), kHelpPathValue, helpPath);
    SetText(key_.get(), kLanguageDllValue, languageDll);
}

void RunValues::Delete() noexcept
{
    if (!key_)
        return;
    ::RegDeleteValueA(key_.get(), kApplicationValue);
    ::RegDeleteValueA(key_.get(), kHelpPathValue);
    ::RegDeleteValueA(key_.get(), kLanguageDllValue);
    key_.reset();
}

bool StagingCopies::CopyOut(const DeviceFilesRecord& device) noexcept
{
    // The staging folder is made when the device is first provisioned; make sure it is still there.
    if (!OpenDeviceFolderOf(device, device_) || !OpenVendorFolder(root_, vendor_, staging_, kStagingFolder))
        return false;
    for (int i = 0; i < kFiles; ++i)
    {
        FileBytes bytes, staged;
        if (!ReadOwnFile(device_.device, kStagedFiles[i], bytes))
            continue;
        // The copies stay between runs: one that already holds the device's file, and is a
        // plain file of ours, is handed over as it is rather than written again.
        copied_[i] = (ReadOwnFile(staging_, kStagedFiles[i], staged) && View(staged) == View(bytes)) ||
                     ReplaceOwnFile(staging_, kStagedFiles[i], bytes);
        if (copied_[i])
            handed_[i] = std::move(bytes);
    }
    return true;
}

void StagingCopies::CopyBack() noexcept
{
    for (int i = 0; i < kFiles; ++i)
    {
        FileBytes edited;
        if (copied_[i] && ReadOwnFile(staging_, kStagedFiles[i], edited) && View(edited) != View(handed_[i]))
            MergeBack(i, edited);
    }
}

void StagingCopies::MergeBack(int file, const FileBytes& edited) noexcept
{
    // The device's file as it is now, read afresh: the Settings page may have written it
    // during the run. Only a file that is not there starts empty (the companion's additions
    // still land); one that is there and cannot be read as ours stays as it is.
    FileBytes current;
    const char* const name = kStagedFiles[file];
    DWORD error = ERROR_SUCCESS;
    const bool present = ReadOwnFile(device_.device, name, current, &error);
    if (!present && error != ERROR_FILE_NOT_FOUND)
        return;
    std::string merged;
    FileBytes result;
    if (!MergeProfileChanges(View(handed_[file]), View(edited), View(current), merged, IsLeadByte) ||
        merged == View(current) || !result.Assign(merged.data(), static_cast<DWORD>(merged.size())))
        return;
    // A file that appeared since it was found missing is not replaced: its keys stay.
    if (present)
        ReplaceOwnFile(device_.device, name, result);
    else
        PlaceNewOwnFile(device_.device, name, result);
}

bool ImageDropFolder::Create() noexcept
{
    return OpenVendorFolder(root_, vendor_, drop_, kImageDropFolder);
}

void ImageDropFolder::Empty() noexcept
{
    // Listed through the held handle, so the entries are those of the folder we checked,
    // and each deleted by the wide name it was listed with.
    if (drop_.held())
    {
        FolderListing listing(drop_.handle());
        // Made at the first image: asking the volume which proof it allows costs Wine a
        // look-up of the mount point, and most runs leave no image.
        std::optional<EntryDeleter> deleter;
        ListedEntry entry;
        for (int visited = 0; visited < kMaxDropDeletions && listing.Next(entry);)
        {
            // Folders are not ours to delete.
            if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsDropEntry(entry))
                continue;
            ++visited;
            if (!deleter)
                deleter.emplace(drop_.handle(), ProofFor(drop_.handle()));
            deleter->Delete(entry);
        }
    }
    drop_.RemoveIfEmpty(vendor_);
}

} // namespace uiext2
