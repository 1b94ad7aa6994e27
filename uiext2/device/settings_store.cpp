// First-use provisioning from the driver package's templates, the settings writers' keys,
// and the default measurement unit.
#include "device/settings_store.h"

#include "device/profile_merge.h"
#include "device/system_code_page.h"
#include "support/unique.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace uiext2
{

namespace
{

// The keys of a writer, into the file as it is when the update reads it.
class KeysChange final : public FileChange
{
public:
    KeysChange(const SettingsKey* keys, size_t count) noexcept : keys_(keys), count_(count) {}

    DWORD Compute(const FileBytes* current, std::string& next, bool& write) noexcept override
    {
        const std::string_view now = current ? current->text() : std::string_view();
        try
        {
            std::vector<ProfileWrite> writes;
            std::string value;
            for (size_t i = 0; i < count_; ++i)
                if (keys_[i].always || !ReadProfileValue(now, keys_[i].section, keys_[i].key, value, &SystemCodePage()))
                    writes.push_back({keys_[i].section, keys_[i].key, keys_[i].value});
            written_ = writes.size();
            if (writes.empty())
                return ERROR_SUCCESS;
            const ProfileUpdate update = WriteProfileKeys(now, writes.data(), writes.size(), next, &SystemCodePage());
            if (update != ProfileUpdate::Written)
                return update == ProfileUpdate::Unsure ? kErrorUnsureProfile : ERROR_NOT_ENOUGH_MEMORY;
        }
        catch (...)
        {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        write = true;
        return ERROR_SUCCESS;
    }

    size_t written() const noexcept { return written_; }

private:
    const SettingsKey* keys_;
    size_t count_;
    size_t written_ = 0;
};

// A copy of the driver package's template `fileName` with one key written into it first
// when `key` is given, put into the device folder only where no file of that name exists
// yet: a host binding the same new device at the same moment may have put its own there
// first, and that one stays. Without the template the file holds only that key; without a
// key either it is not made.
void PlaceTemplateCopy(const DeviceFolders& folders, const char* fileName, const ProfileWrite* key = nullptr) noexcept
{
    char programRoot[MAX_PATH];
    char source[MAX_PATH];
    FileBytes bytes;
    const bool copied = ProgramFilesFolder(programRoot) &&
                        FormatPath(source, sizeof(source), "%s\\%s\\%s", programRoot, kPackageFolder, fileName) &&
                        ReadFileBytes(source, bytes);
    if (key)
    {
        std::string made;
        if (WriteProfileKeys(copied ? bytes.text() : std::string_view(), key, 1, made, &SystemCodePage()) !=
                ProfileUpdate::Written ||
            !bytes.Assign(made.data(), static_cast<DWORD>(made.size())))
            return;
    }
    else if (!copied)
        return;
    folders.device().PlaceNew(fileName, bytes, &folders.lock());
}

} // namespace

void ProvisionDeviceFolder(DeviceFolders& folders, const char* modelName) noexcept
{
    // The existence test asks the held device folder: only "not found" means absent. A file
    // held open by the companion program or one we may not read exists, and is never
    // replaced by a template.
    if (!folders.deviceHeld() || folders.device().Exists(kSettingsFileName))
        return;
    folders.OpenStaging(true); // made here for the scan runs; existing already is fine

    char unit[16];
    std::snprintf(unit, sizeof(unit), "%d", DefaultUnit());
    const ProfileWrite unitKey{"Contents", "Unit", unit};
    const ProfileWrite modelKey{"Scanner1", "Model", modelName ? modelName : ""};
    PlaceTemplateCopy(folders, kSettingsFileName, &unitKey);
    PlaceTemplateCopy(folders, kScannerListFileName, &modelKey);
    PlaceTemplateCopy(folders, kPageLogFileName);
}

DWORD WriteSettingsKeys(const DeviceFolders& folders, const SettingsKey* keys, size_t count, size_t* written) noexcept
{
    if (!folders.deviceHeld())
        return ERROR_PATH_NOT_FOUND;
    KeysChange change(keys, count);
    const DWORD error = folders.device().Update(kSettingsFileName, &folders.lock(), change);
    if (written)
        *written = error == ERROR_SUCCESS ? change.written() : 0;
    return error;
}

DWORD ReadSettingsFile(const DeviceFolders& folders, FileBytes& bytes) noexcept
{
    if (!folders.deviceHeld())
        return ERROR_PATH_NOT_FOUND;
    return Retrying([&] { return folders.device().Read(kSettingsFileName, bytes); });
}

int DefaultUnit() noexcept
{
    UniqueHKey international;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\International", 0, KEY_READ, international.put()) ==
        ERROR_SUCCESS)
    {
        // One byte short of the buffer, so the zero fill always terminates the text.
        char text[260] = {};
        DWORD size = sizeof(text) - 1;
        if (::RegQueryValueExA(international.get(), "iMeasure", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                               &size) == ERROR_SUCCESS)
        {
            // Leading decimal digits, 0 without any; strtol, unlike atoi, is defined on overflow.
            return static_cast<int>(std::strtol(text, nullptr, 10));
        }
    }
    return static_cast<int>(::GetPrivateProfileIntA("intl", "iMeasure", 0, "Win.ini"));
}

} // namespace uiext2
