// Driver-package fixture: what a scanner's installation leaves on the machine (the three
// settings templates, a subkey per scanner under the imaging-device class key), made in
// the test machine and removed again, and clean-up of the device folders the extension
// creates. Everything is real: files in the program files and common documents folders,
// keys in HKEY_LOCAL_MACHINE.
//
// Tests that use it touch machine-wide state: register them with the CTest property
// RESOURCE_LOCK wine_machine_state, and give each test device names of its own.
#pragma once

#include <string>

namespace uiext2_test
{

// The imaging-device class key, under HKEY_LOCAL_MACHINE.
extern const char kImagingClassKey[];

// This machine's folders, without a trailing backslash.
std::string CommonDocumentsFolder();
std::string ProgramFilesFolder();
std::string TemplateFolder();                            // <program files>\WIA Scanner\USB2
std::string DeviceFolder(const std::string& deviceName); // <common documents>\Velmora\WIA\<device>

// What the installed template `fileName` ("VT_TWAIN1.ini", "RegList.ini",
// "VTTwainPageLog.ini") holds: INI text that names the file in section "Template", key
// "File", so a copy can be told from its siblings and from a file written from scratch.
std::string TemplateText(const std::string& fileName);

// The three templates in TemplateFolder() for the object's lifetime. The destructor
// deletes them, and the two folders when nothing else is left in them.
class InstalledTemplates
{
public:
    InstalledTemplates();
    ~InstalledTemplates();
    InstalledTemplates(const InstalledTemplates&) = delete;
    InstalledTemplates& operator=(const InstalledTemplates&) = delete;

    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// A scanner's subkey <class key>\<subkey> for the object's lifetime, with the text value
// FriendlyName and, as asked:
// - withDeviceData false: no "DeviceData" subkey;
// - scannerAddress null: "DeviceData" without a ScannerAddress value;
// - otherwise "DeviceData"\ScannerAddress = scannerAddress (which may be empty).
// The destructor deletes the subkey with everything under it.
class InstalledScanner
{
public:
    InstalledScanner(const std::string& subkey, const std::string& friendlyName, const char* scannerAddress,
                     bool withDeviceData = true);
    ~InstalledScanner();
    InstalledScanner(const InstalledScanner&) = delete;
    InstalledScanner& operator=(const InstalledScanner&) = delete;

    bool ok() const { return ok_; }

    // The "DeviceData"\ScannerAddress value as it stands now; false when it is absent.
    bool ReadAddress(std::string& address) const;

private:
    std::string path_; // under HKEY_LOCAL_MACHINE
    bool ok_ = false;
};

// The simulated companion program (callgui.exe, built beside the test program) installed
// as <program files>\WIA Scanner\USB2\callgui.exe for the object's lifetime.
class InstalledCompanion
{
public:
    InstalledCompanion();
    ~InstalledCompanion();
    InstalledCompanion(const InstalledCompanion&) = delete;
    InstalledCompanion& operator=(const InstalledCompanion&) = delete;

    bool ok() const { return ok_; }
    static std::string Path();
    // Waits (30 s at most) until no simulated companion runs: a run never waits for its
    // companion, and a running program can be neither deleted nor replaced.
    static void WaitUntilGone();

private:
    bool ok_ = false;
};

// Deletes a folder and every file in it, read-only ones included (not subfolders). True
// when the folder is gone afterwards.
bool RemoveFolder(const std::string& folder);
bool RemoveDeviceFolder(const std::string& deviceName);

// Removes the device's folder when made and again when destroyed.
class ScopedDeviceFolder
{
public:
    explicit ScopedDeviceFolder(std::string deviceName);
    ~ScopedDeviceFolder();
    ScopedDeviceFolder(const ScopedDeviceFolder&) = delete;
    ScopedDeviceFolder& operator=(const ScopedDeviceFolder&) = delete;

    bool ok() const { return ok_; }

private:
    std::string deviceName_;
    bool ok_;
};

// Small file helpers for assertions.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string FileText(const std::string& path); // the bytes of the file; empty when unreadable
bool WriteFileText(const std::string& path, const std::string& text);

// A private-profile value; false when the key is absent.
bool ReadIni(const std::string& path, const char* section, const char* key, std::string& value);

} // namespace uiext2_test
