// The device's folders and first-use provisioning, against real folders,
// files and templates.
#include "device/settings_store.h"
#include "settings_steps.h"

#include "driver_package.h"
#include "unix_side.h"
#include "support/unique.h"
#include "user_measure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>

namespace
{

using namespace uiext2_test;
using settings_steps::Provision;

// Tests share one machine: every device name carries its test's name.
std::string DeviceName(const char* suffix = "")
{
    return std::string("uiext2 ") + testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
}

std::string SettingsFile(const std::string& device)
{
    return DeviceFolder(device) + "\\VT_TWAIN1.ini";
}
std::string ScannerListFile(const std::string& device)
{
    return DeviceFolder(device) + "\\RegList.ini";
}
std::string PageLogFile(const std::string& device)
{
    return DeviceFolder(device) + "\\VTTwainPageLog.ini";
}

std::string Ini(const std::string& path, const char* section, const char* key)
{
    std::string value;
    return ReadIni(path, section, key, value) ? value : "(absent)";
}

// The longest device name whose three paths still fit 259 bytes under this machine's
// common documents folder: the page log file adds "\Velmora\WIA\" and "\VTTwainPageLog.ini".
std::size_t LongestDeviceName()
{
    return 259 - CommonDocumentsFolder().size() - std::strlen("\\Velmora\\WIA\\") - std::strlen("\\VTTwainPageLog.ini");
}

// Deletes the files provisioning would make through `name` if it let the name through, so
// that a run of a broken build leaves nothing that fails the next run.
void DeleteFilesMadeThrough(const std::string& name)
{
    for (const std::string& file : {SettingsFile(name), ScannerListFile(name), PageLogFile(name)})
        ::DeleteFileA(file.c_str());
}

// A refused name opens no folder and changes nothing on the disk. The folders a
// composition that let such a name through would make are watched: "uiext2 refused" (the
// first part of a name with a separator, or what Windows makes of a trailing dot or
// space), one two levels up, and the folder of the name one byte too long, whose folder
// path still fits where its files do not.
TEST(DeviceFiles, RefusedNamesChangeNothing)
{
    const std::string tooLong(LongestDeviceName() + 1, 'L');
    const std::string refused[] = {
        "",
        ".",
        "..",
        "uiext2 refused\\x",
        "..\\..\\uiext2 refused",
        "uiext2 refused/x",
        "C:",
        "uiext2 a:b",
        "uiext2 <x>",
        "CON",
        "nul.ini",
        "COM1",
        "uiext2 refused.",
        "uiext2 refused ",
        "uiext2\trefused",
        tooLong,
    };
    const std::string watched[] = {"uiext2 refused", "..\\..\\uiext2 refused", tooLong};
    ScopedDeviceFolder watch0(watched[0]), watch1(watched[1]), watch2(watched[2]);
    ASSERT_TRUE(watch0.ok() && watch1.ok() && watch2.ok());
    for (const std::string& name : refused)
        DeleteFilesMadeThrough(name);
    InstalledTemplates templates;
    ASSERT_TRUE(templates.ok());
    for (const std::string& name : refused)
    {
        uiext2::DeviceFolders folders;
        EXPECT_FALSE(folders.NameDevice(name.c_str()) == ERROR_SUCCESS && folders.OpenDevice(true)) << name;
        uiext2::ProvisionDeviceFolder(folders, "Model");
        EXPECT_FALSE(FileExists(SettingsFile(name))) << name;
        DeleteFilesMadeThrough(name);
    }
    for (const std::string& name : watched)
        EXPECT_FALSE(FolderExists(DeviceFolder(name))) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), uiext2::DeviceFolders().NameDevice(nullptr));
}

class Provisioning : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.ok());
        ASSERT_TRUE(templates_.ok());
    }

    const std::string device_ = DeviceName();
    ScopedDeviceFolder folder_{device_};
    InstalledTemplates templates_;
};

TEST_F(Provisioning, FirstSightMakesFoldersCopiesAndKeys)
{
    const std::string velmora = CommonDocumentsFolder() + "\\Velmora";
    ::RemoveDirectoryA((velmora + "\\VT_WIA").c_str()); // only when empty: then its creation shows
    ScopedUserMeasure measure;
    ASSERT_TRUE(measure.Set("0"));

    Provision(device_, "VT-3000 Model");

    EXPECT_TRUE(FolderExists(velmora));
    EXPECT_TRUE(FolderExists(velmora + "\\WIA"));
    EXPECT_TRUE(FolderExists(DeviceFolder(device_)));
    EXPECT_TRUE(FolderExists(velmora + "\\VT_WIA"));

    const std::string settings = SettingsFile(device_);
    EXPECT_EQ("VT_TWAIN1.ini", Ini(settings, "Template", "File"));
    EXPECT_EQ("3", Ini(settings, "Contents", "Compression")); // the template's keys stay
    EXPECT_EQ("0", Ini(settings, "Contents", "Unit"));

    const std::string scannerList = ScannerListFile(device_);
    EXPECT_EQ("RegList.ini", Ini(scannerList, "Template", "File"));
    EXPECT_EQ("USB", Ini(scannerList, "Scanner1", "Port"));
    EXPECT_EQ("VT-3000 Model", Ini(scannerList, "Scanner1", "Model"));

    // Copied and never written: byte for byte the template.
    EXPECT_EQ(TemplateText("VTTwainPageLog.ini"), FileText(PageLogFile(device_)));
}

TEST_F(Provisioning, AnExistingSettingsFileKeepsTheDeviceAsItIs)
{
    ASSERT_TRUE(::CreateDirectoryA((CommonDocumentsFolder() + "\\Velmora").c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(::CreateDirectoryA((CommonDocumentsFolder() + "\\Velmora\\WIA").c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(::CreateDirectoryA(DeviceFolder(device_).c_str(), nullptr));
    const std::string mine = "[Contents]\r\nCompression=5\r\n";
    ASSERT_TRUE(WriteFileText(SettingsFile(device_), mine));

    Provision(device_, "VT-3000 Model");

    EXPECT_EQ(mine, FileText(SettingsFile(device_)));
    EXPECT_FALSE(FileExists(ScannerListFile(device_)));
    EXPECT_FALSE(FileExists(PageLogFile(device_)));
}

TEST_F(Provisioning, TwoDevicesGetFoldersOfTheirOwn)
{
    const std::string other = DeviceName(" other");
    ScopedDeviceFolder otherFolder(other);
    ASSERT_TRUE(otherFolder.ok());

    ScopedUserMeasure measure;
    ASSERT_TRUE(measure.Set("0"));
    Provision(device_, "Model A");
    ASSERT_TRUE(measure.Set("1"));
    Provision(other, "Model B");

    EXPECT_EQ("Model A", Ini(ScannerListFile(device_), "Scanner1", "Model"));
    EXPECT_EQ("Model B", Ini(ScannerListFile(other), "Scanner1", "Model"));
    EXPECT_EQ("0", Ini(SettingsFile(device_), "Contents", "Unit"));
    EXPECT_EQ("1", Ini(SettingsFile(other), "Contents", "Unit"));
    EXPECT_TRUE(FileExists(SettingsFile(other)));
    EXPECT_TRUE(FileExists(PageLogFile(other)));
}

TEST_F(Provisioning, TheLongestNameThatFitsIsProvisioned)
{
    const std::string longest(LongestDeviceName(), 'L');
    ScopedDeviceFolder longestFolder(longest);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), uiext2::DeviceFolders().NameDevice(longest.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE),
              uiext2::DeviceFolders().NameDevice((longest + "L").c_str()));

    Provision(longest, "Model");
    EXPECT_EQ(TemplateText("VTTwainPageLog.ini"), FileText(PageLogFile(longest)));
    EXPECT_EQ("Model", Ini(ScannerListFile(longest), "Scanner1", "Model"));
}

// Without the driver package's templates the files hold only what provisioning writes.
TEST(ProvisioningWithoutTemplates, WritesOnlyItsOwnKeys)
{
    ASSERT_FALSE(FileExists(TemplateFolder() + "\\VT_TWAIN1.ini")) << "templates left behind by another test";
    const std::string device = DeviceName();
    ScopedDeviceFolder folder(device);

    Provision(device, "Model");

    EXPECT_EQ(std::to_string(uiext2::DefaultUnit()), Ini(SettingsFile(device), "Contents", "Unit"));
    EXPECT_EQ("(absent)", Ini(SettingsFile(device), "Template", "File"));
    EXPECT_EQ("Model", Ini(ScannerListFile(device), "Scanner1", "Model"));
    EXPECT_EQ("(absent)", Ini(ScannerListFile(device), "Template", "File"));
    EXPECT_FALSE(FileExists(PageLogFile(device)));
}

} // namespace

namespace
{

// A held device folder cannot be renamed from Windows (the hold takes part in sharing checks
// and does not share deletion). A rename from the Unix side is no Windows-level step and
// goes through; a link then stands where the folder was, and a write through the held folder
// never reaches the link's target, which keeps every byte. (Under Wine the write then fails:
// the folder no longer has the name it was checked under.)
TEST(HeldFolder, CannotBeRenamedAndItsWritesFollowTheHandle)
{
    InstalledTemplates templates;
    ASSERT_TRUE(templates.ok());
    const std::string device = DeviceName("held");
    ScopedDeviceFolder scoped(device);
    const std::string folder = DeviceFolder(device);
    const std::string victim = uiext2_test::CommonDocumentsFolder() + "\\uiext2 held victim";
    ::CreateDirectoryA(victim.c_str(), nullptr);
    ASSERT_TRUE(uiext2_test::WriteFileText(victim + "\\VT_TWAIN1.ini", "[Victim]\r\nFile=theirs\r\n"));
    const std::string before = uiext2_test::Snapshot(victim);

    auto held = std::make_unique<uiext2::DeviceFolders>();
    ASSERT_TRUE(held->NameDevice(device.c_str()) == ERROR_SUCCESS && held->OpenDevice(true));
    const auto writeUnit = [&](const char* unit)
    {
        const uiext2::SettingsKey key{"Contents", "Unit", unit, true};
        return uiext2::WriteSettingsKeys(*held, &key, 1);
    };
    EXPECT_FALSE(::MoveFileExA(folder.c_str(), (folder + ".moved").c_str(), 0));
    EXPECT_TRUE(::GetLastError() == ERROR_SHARING_VIOLATION || ::GetLastError() == ERROR_ACCESS_DENIED)
        << ::GetLastError();

    EXPECT_EQ(DWORD{ERROR_SUCCESS}, writeUnit("1"));
    using uiext2_test::OnC;
    ASSERT_TRUE(uiext2_test::UnixShell("mv " + OnC(folder) + " " + OnC(folder + ".aside") + " && ln -s " + OnC(victim) +
                                       " " + OnC(folder)));
    writeUnit("0");
    held.reset();
    ASSERT_TRUE(uiext2_test::UnixShell("rm -f " + OnC(folder) + "; mv " + OnC(folder + ".aside") + " " + OnC(folder)));
    EXPECT_EQ(before, uiext2_test::Snapshot(victim));
    EXPECT_EQ("1", Ini(SettingsFile(device), "Contents", "Unit"));
    uiext2_test::RemoveFolder(victim);
}

} // namespace

namespace
{

using namespace uiext2_test;

// The one update of a settings file: a writer that lands between another's read and its
// rename is not thrown away (the file is read again under the lock).
TEST(SettingsUpdate, NoWriterLosesAnotherOnesKeys)
{
    InstalledTemplates templates;
    ASSERT_TRUE(templates.ok());
    const std::string device = DeviceName();
    ScopedDeviceFolder scoped(device);
    uiext2::DeviceFolders folders;
    ASSERT_TRUE(folders.NameDevice(device.c_str()) == ERROR_SUCCESS && folders.OpenDevice(true));
    uiext2::ProvisionDeviceFolder(folders, "Model");

    // The migration, as another process runs it: it holds the device's lock (its lock file,
    // unshared) while it writes.
    const std::string lockFile = DeviceFolder(device) + "\\~settings.lock";
    HANDLE taken = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread migration(
        [&]
        {
            HANDLE lock =
                ::CreateFileA(lockFile.c_str(), DELETE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            ::SetEvent(taken);
            ::Sleep(300); // the write below has read the file and waits for the lock
            ::WritePrivateProfileStringA("Contents", "ScannerAddress", "10.0.0.9", SettingsFile(device).c_str());
            ::CloseHandle(lock);
        });
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(taken, 5000));
    ::CloseHandle(taken);
    const uiext2::SettingsKey level{"Contents", "Compression", "4", true};
    EXPECT_EQ(DWORD{ERROR_SUCCESS}, uiext2::WriteSettingsKeys(folders, &level, 1));
    migration.join();
    // The bytes, not a profile read: the platform's profile functions may answer from a cache.
    const std::string text = FileText(SettingsFile(device));
    EXPECT_NE(std::string::npos, text.find("Compression=4")) << text;
    EXPECT_NE(std::string::npos, text.find("ScannerAddress=10.0.0.9")) << text;

    // The file itself, spelled otherwise, is the settings file.
    ASSERT_TRUE(::DeleteFileA(SettingsFile(device).c_str()));
    ASSERT_TRUE(WriteFileText(DeviceFolder(device) + "\\vt_twain1.INI", "[Contents]\r\nUnit=7\r\n"));
    uiext2::FileBytes bytes;
    EXPECT_EQ(DWORD{ERROR_SUCCESS}, folders.device().Read("VT_TWAIN1.ini", bytes));
}

} // namespace
