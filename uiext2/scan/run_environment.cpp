// The run values, staging copies and image drop folder of a scan run.
#include "scan/run_environment.h"

#include "device/path_rules.h"
#include "scan/scan_names.h"

#include <cstring>

namespace uiext2
{

namespace
{

constexpr int kMaxDropDeletions = 2001;

// <documents>\Velmora and the folder `below` it (one of ours); existing folders are fine.
void CreateVendorFolder(const char* documents, const char* below) noexcept
{
    char folder[MAX_PATH];
    if (FormatPath(folder, sizeof(folder), "%s%s", documents, kVendorFolder))
        ::CreateDirectoryA(folder, nullptr);
    if (FormatPath(folder, sizeof(folder), "%s%s", documents, below))
        ::CreateDirectoryA(folder, nullptr);
}

void SetText(HKEY key, const char* name, const char* text) noexcept
{
    // Handed over without the terminator, as the companion expects to add its own. (The
    // platform's A function still stores one when the byte after the text is a NUL.)
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)));
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
    char documents[MAX_PATH];
    if (!CommonDocumentsFolder(documents))
        return false;
    const char* const files[kFiles] = {kSettingsFileName, kScannerListFileName, kPageLogFileName};
    const char* const sources[kFiles] = {device.settingsFile, device.scannerListFile, device.pageLogFile};
    for (int i = 0; i < kFiles; ++i)
    {
        if (!FormatPath(staging_[i], MAX_PATH, "%s%s\\%s", documents, kStagingFolder, files[i]) ||
            !FormatPath(device_[i], MAX_PATH, "%s", sources[i]))
            return false;
    }
    // The folder is made when the device is first provisioned; make sure it is still there.
    CreateVendorFolder(documents, kStagingFolder);
    for (int i = 0; i < kFiles; ++i)
        copied_[i] = ::CopyFileA(device_[i], staging_[i], FALSE) != FALSE;
    return true;
}

void StagingCopies::CopyBack() noexcept
{
    for (int i = 0; i < kFiles; ++i)
        if (copied_[i])
            ::CopyFileA(staging_[i], device_[i], FALSE);
}

bool ImageDropFolderPath(char (&path)[MAX_PATH]) noexcept
{
    char documents[MAX_PATH];
    return CommonDocumentsFolder(documents) && FormatPath(path, MAX_PATH, "%s%s", documents, kImageDropFolder);
}

void CreateImageDropFolder() noexcept
{
    char documents[MAX_PATH];
    if (CommonDocumentsFolder(documents))
        CreateVendorFolder(documents, kImageDropFolder);
}

void EmptyImageDropFolder(const char* folder) noexcept
{
    char pattern[MAX_PATH];
    if (!FormatPath(pattern, sizeof(pattern), "%s\\image.*", folder))
        return;
    WIN32_FIND_DATAA entry;
    UniqueFind search(::FindFirstFileA(pattern, &entry));
    if (search)
    {
        int deleted = 0;
        do
        {
            char path[MAX_PATH];
            if (FormatPath(path, sizeof(path), "%s\\%s", folder, entry.cFileName))
                ::DeleteFileA(path);
            ++deleted;
        } while (deleted < kMaxDropDeletions && ::FindNextFileA(search.get(), &entry));
    }
    search.reset();
    ::RemoveDirectoryA(folder);
}

} // namespace uiext2
