// The run values and image drop folder of a scan run.
#include "scan/run_environment.h"

#include "com/trace_events.h"

#include "device/path_rules.h"
#include "device/own_file.h"
#include "scan/scan_names.h"

#include <cstring>

namespace uiext2
{

namespace
{

constexpr int kMaxDropDeletions = 2001;

void SetText(HKEY key, const char* name, const char* text) noexcept
{
    // Handed over without the terminator, as the companion expects to add its own. (The
    // platform's A function still stores one when the byte after the text is a NUL.)
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)));
}

// "image.*" as the search pattern read it: "image" with any extension, or none.
bool IsDropEntry(const FILE_FULL_DIR_INFO& entry) noexcept
{
    constexpr wchar_t kStem[] = L"image";
    constexpr int kStemLength = 5;
    const int length = static_cast<int>(entry.FileNameLength / sizeof(wchar_t));
    return length >= kStemLength &&
           ::CompareStringOrdinal(entry.FileName, kStemLength, kStem, kStemLength, TRUE) == CSTR_EQUAL &&
           (length == kStemLength || entry.FileName[kStemLength] == L'.');
}

void DeleteDropEntry(const OwnFolder& drop, const FILE_FULL_DIR_INFO& entry) noexcept
{
    char name[MAX_PATH];
    const int length = static_cast<int>(entry.FileNameLength / sizeof(wchar_t));
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, entry.FileName, length, name, MAX_PATH - 1, nullptr, nullptr);
    if (bytes <= 0)
        return;
    name[bytes] = '\0';
    DeleteOwnEntry(drop, name);
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
    // Listed through the held handle, so the entries are those of the folder we checked.
    constexpr DWORD kListBytes = 64 * 1024;
    if (!folders_)
        return;
    const OwnFolder& drop = folders_->drop();
    UniqueLocal list(::LocalAlloc(LMEM_FIXED, kListBytes));
    int visited = 0;
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
         list && drop.held() && visited < kMaxDropDeletions &&
         ::GetFileInformationByHandleEx(drop.handle(), kind, list.get(), kListBytes);
         kind = FileFullDirectoryInfo)
    {
        const BYTE* at = static_cast<const BYTE*>(list.get());
        for (;;)
        {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
            if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsDropEntry(*entry) &&
                visited++ < kMaxDropDeletions) // folders are not ours to delete
                DeleteDropEntry(drop, *entry);
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    list.reset();
    trace::DropFolderEmptied(drop.handle(), visited < kMaxDropDeletions ? visited : kMaxDropDeletions);
    folders_->RemoveDropIfEmpty();
}

} // namespace uiext2
