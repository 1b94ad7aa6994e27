// The driver-package fixture: templates, imaging-class registry keys and device folders.
#include "driver_package.h"

#include <windows.h>
#include <shlobj.h>

#include "support/unique.h"

#include <utility>

namespace uiext2_test
{

const char kImagingClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

namespace
{

const char* const kTemplateFiles[] = {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"};

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE))
        return std::string();
    return path;
}

bool SetText(HKEY key, const char* name, const std::string& text)
{
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

} // namespace

std::string CommonDocumentsFolder()
{
    return SpecialFolder(CSIDL_COMMON_DOCUMENTS);
}

std::string ProgramFilesFolder()
{
    return SpecialFolder(CSIDL_PROGRAM_FILES);
}

std::string TemplateFolder()
{
    return ProgramFilesFolder() + "\\WIA Scanner\\USB2";
}

std::string DeviceFolder(const std::string& deviceName)
{
    return CommonDocumentsFolder() + "\\Velmora\\WIA\\" + deviceName;
}

std::string TemplateText(const std::string& fileName)
{
    std::string text = "; installed with the scanner's driver package\r\n[Template]\r\nFile=" + fileName + "\r\n";
    if (fileName == "VT_TWAIN1.ini")
        text += "[Contents]\r\nCompression=3\r\nCompressionGray=2\r\n[Authentication]\r\nAuth=0\r\n";
    else if (fileName == "RegList.ini")
        text += "[Scanner1]\r\nPort=USB\r\n";
    return text;
}

InstalledTemplates::InstalledTemplates()
{
    const std::string parent = ProgramFilesFolder() + "\\WIA Scanner";
    ::CreateDirectoryA(parent.c_str(), nullptr);
    ::CreateDirectoryA(TemplateFolder().c_str(), nullptr);
    ok_ = true;
    for (const char* file : kTemplateFiles)
        ok_ = WriteFileText(TemplateFolder() + "\\" + file, TemplateText(file)) && ok_;
}

InstalledTemplates::~InstalledTemplates()
{
    for (const char* file : kTemplateFiles)
        ::DeleteFileA((TemplateFolder() + "\\" + file).c_str());
    // Fails, as it should, while other files of the package are still there.
    ::RemoveDirectoryA(TemplateFolder().c_str());
    ::RemoveDirectoryA((ProgramFilesFolder() + "\\WIA Scanner").c_str());
}

InstalledScanner::InstalledScanner(const std::string& subkey, const std::string& friendlyName,
                                   const char* scannerAddress, bool withDeviceData)
    : path_(std::string(kImagingClassKey) + "\\" + subkey)
{
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str()); // left over from an interrupted run
    uiext2::UniqueHKey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS ||
        !SetText(key.get(), "FriendlyName", friendlyName))
        return;
    if (withDeviceData)
    {
        uiext2::UniqueHKey deviceData;
        if (::RegCreateKeyExA(key.get(), "DeviceData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, deviceData.put(),
                              nullptr) != ERROR_SUCCESS)
            return;
        if (scannerAddress && !SetText(deviceData.get(), "ScannerAddress", scannerAddress))
            return;
    }
    ok_ = true;
}

InstalledScanner::~InstalledScanner()
{
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
}

bool InstalledScanner::ReadAddress(std::string& address) const
{
    char text[256] = {};
    DWORD size = sizeof(text) - 1;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, (path_ + "\\DeviceData").c_str(), "ScannerAddress", RRF_RT_REG_SZ, nullptr,
                       text, &size) != ERROR_SUCCESS)
        return false;
    address = text;
    return true;
}

bool RemoveDeviceFolder(const std::string& deviceName)
{
    return RemoveFolder(DeviceFolder(deviceName));
}

bool RemoveFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    uiext2::UniqueFind find(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (find)
    {
        do
        {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::string file = folder + "\\" + found.cFileName;
            ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(file.c_str());
        } while (::FindNextFileA(find.get(), &found));
    }
    find.reset();
    ::RemoveDirectoryA(folder.c_str());
    return !FolderExists(folder);
}

InstalledCompanion::InstalledCompanion()
{
    char self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string built(self, length);
    built.erase(built.find_last_of('\\') + 1);
    ::CreateDirectoryA((ProgramFilesFolder() + "\\WIA Scanner").c_str(), nullptr);
    ::CreateDirectoryA(TemplateFolder().c_str(), nullptr);
    ok_ = ::CopyFileA((built + "callgui.exe").c_str(), Path().c_str(), FALSE) != FALSE;
}

void InstalledCompanion::WaitUntilGone()
{
    // The companion holds this mutex while it runs; it is abandoned when it exits.
    HANDLE alive = ::OpenMutexA(SYNCHRONIZE, FALSE, "uiext2 simulated companion");
    if (alive)
    {
        if (::WaitForSingleObject(alive, 30000) != WAIT_TIMEOUT)
            ::ReleaseMutex(alive);
        ::CloseHandle(alive);
    }
}

InstalledCompanion::~InstalledCompanion()
{
    WaitUntilGone();
    ::DeleteFileA(Path().c_str());
    ::RemoveDirectoryA(TemplateFolder().c_str());
    ::RemoveDirectoryA((ProgramFilesFolder() + "\\WIA Scanner").c_str());
}

std::string InstalledCompanion::Path()
{
    return TemplateFolder() + "\\callgui.exe";
}

ScopedDeviceFolder::ScopedDeviceFolder(std::string deviceName)
    : deviceName_(std::move(deviceName)), ok_(RemoveDeviceFolder(deviceName_))
{
}

ScopedDeviceFolder::~ScopedDeviceFolder()
{
    RemoveDeviceFolder(deviceName_);
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FileText(const std::string& path)
{
    uiext2::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!file)
        return text;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        text.append(chunk, read);
    return text;
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    uiext2::UniqueFile file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool ReadIni(const std::string& path, const char* section, const char* key, std::string& value)
{
    // A default no INI value can hold tells an absent key from an empty one.
    const char kAbsent[] = "\x01";
    char text[512];
    ::GetPrivateProfileStringA(section, key, kAbsent, text, sizeof(text), path.c_str());
    if (std::string(text) == kAbsent)
        return false;
    value = text;
    return true;
}

} // namespace uiext2_test
