// The run values and image drop folder of a scan run.
#include "scan/run_environment.h"

#include "trace/trace_events.h"
#include "device/own_folder.h"
#include "scan/scan_names.h"

#include <cstring>

namespace uiext2
{

namespace
{

constexpr ULONG kMaxDropDeletions = 2001;

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
    const int length = static_cast<int>(entry.length);
    return length >= kStemLength &&
           ::CompareStringOrdinal(entry.name, kStemLength, kStem, kStemLength, TRUE) == CSTR_EQUAL &&
           (length == kStemLength || entry.name[kStemLength] == L'.');
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

bool ImageDropFolder::Create(DeviceFolders& folders) noexcept
{
    folders_ = &folders;
    return folders.OpenDrop(true);
}

void ImageDropFolder::Empty() noexcept
{
    if (!folders_)
        return;
    // Listed through the held folder, so the entries are those of the folder we checked,
    // and each deleted by the wide name it was listed with. Folders are not ours to delete.
    ULONG visited = 0, removed = 0, left = 0;
    folders_->drop().List(
        [&](const ListedEntry& entry)
        {
            const bool image =
                (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsDropEntry(entry) && visited < kMaxDropDeletions;
            visited += image ? 1 : 0;
            if (image && folders_->drop().DeleteListed(entry))
                ++removed;
            else
                ++left;
            return true;
        });
    trace::DropFolderEmptied(removed, left);
    folders_->RemoveDropIfEmpty();
}

} // namespace uiext2
