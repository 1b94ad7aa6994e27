// The scanner address that the driver's installation leaves in the registry, moved into
// the device's settings file.
#include "device/settings_store.h"

#include "support/unique.h"

#include <cstring>

namespace uiext2
{

namespace
{

// The imaging-device setup class, one subkey per installed scanner.
constexpr char kImagingClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

constexpr REGSAM kReadAndSet = KEY_READ | KEY_SET_VALUE;

// A text value read into `buffer` (zero-filled first). False when the value is missing,
// is not text, or does not fit with its terminator. Windows stores a text exactly as
// written, with or without its terminator (Wine adds one on read), so both are accepted.
bool ReadRegistryText(HKEY key, const char* name, char* buffer, DWORD capacity) noexcept
{
    std::memset(buffer, 0, capacity);
    DWORD type = 0;
    DWORD size = capacity;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    if (size > 0 && buffer[size - 1] != '\0' && size >= capacity)
        return false;
    return true; // the zero fill terminates a text stored without its terminator
}

// True once the platform's own reader finds `address` in the device's settings file, as the
// companion program will. Windows reads the file anew on every call; the empty call first
// drops a copy that a reader may keep (Wine keeps the file it read last).
bool ReaderFindsAddress(const DeviceFolders& folders, const char* address) noexcept
{
    char path[MAX_PATH];
    char found[64] = {};
    if (!FormatPath(path, sizeof(path), "%s\\%s", folders.device().path(), kSettingsFileName))
        return false;
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    ::GetPrivateProfileStringA("Contents", "ScannerAddress", "", found, sizeof(found), path);
    return std::strcmp(found, address) == 0;
}

// The subkey's FriendlyName equals the device name, byte for byte.
bool NamesDevice(HKEY scannerKey, const char* deviceName) noexcept
{
    char friendlyName[128];
    return ReadRegistryText(scannerKey, "FriendlyName", friendlyName, sizeof(friendlyName)) &&
           std::strcmp(friendlyName, deviceName) == 0;
}

// Moves DeviceData\ScannerAddress into the settings file. The registry value goes only once
// the platform's reader finds it in the file: a failed write (full disk, a file held past the
// retries), a settings file that cannot be read as ours or that the INI model is unsure of,
// or a device folder that is a link keep it for the next try.
void MoveAddress(HKEY scannerKey, const DeviceFolders& folders) noexcept
{
    UniqueHKey deviceData;
    if (::RegOpenKeyExA(scannerKey, "DeviceData", 0, kReadAndSet, deviceData.put()) != ERROR_SUCCESS)
        return;
    char address[64];
    if (!ReadRegistryText(deviceData.get(), "ScannerAddress", address, sizeof(address)) || address[0] == '\0')
        return;
    const SettingsKey key{"Contents", "ScannerAddress", address, true};
    if (WriteSettingsKeys(folders, &key, 1) == ERROR_SUCCESS && ReaderFindsAddress(folders, address))
        ::RegDeleteValueA(deviceData.get(), "ScannerAddress");
}

} // namespace

void MigrateScannerAddress(const DeviceFolders& folders) noexcept
{
    if (!folders.deviceHeld())
        return;
    const char* const deviceName = folders.deviceName();

    UniqueHKey classKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kImagingClassKey, 0, KEY_ENUMERATE_SUB_KEYS, classKey.put()) !=
        ERROR_SUCCESS)
        return;

    for (DWORD index = 0;; ++index)
    {
        char subkeyName[260];
        DWORD nameLength = sizeof(subkeyName);
        const LONG enumerated =
            ::RegEnumKeyExA(classKey.get(), index, subkeyName, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (enumerated == ERROR_MORE_DATA)
            continue; // a name that does not fit is passed over
        // ERROR_NO_MORE_ITEMS ends the walk; so does any other error, which would repeat for
        // every later index (a class key deleted meanwhile) and never end it.
        if (enumerated != ERROR_SUCCESS)
            return;

        // Opened relative to the class key: the same key as its full path under
        // HKEY_LOCAL_MACHINE, without composing that path.
        UniqueHKey scannerKey;
        if (::RegOpenKeyExA(classKey.get(), subkeyName, 0, kReadAndSet, scannerKey.put()) != ERROR_SUCCESS)
            continue;
        if (NamesDevice(scannerKey.get(), deviceName))
        {
            // Only the first matching subkey counts, with or without an address.
            MoveAddress(scannerKey.get(), folders);
            return;
        }
    }
}

} // namespace uiext2
