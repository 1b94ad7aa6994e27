// The scan run end to end under Wine: the real mutex, registry, files and pipe, the
// simulated companion program in its own process and the simulated scanner in this one.
#include "scan_fixture.h"

#include "device/settings_store.h"
#include "scan/scan_names.h"

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace scan_test
{
namespace
{

bool RunValuesPresent()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, uiext2::kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    const bool present = ::RegQueryValueExA(key, "Application", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS ||
                         ::RegQueryValueExA(key, "HelpPath", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS ||
                         ::RegQueryValueExA(key, "LanguageDll", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return present;
}

bool MutexExists()
{
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, uiext2::kScanRunMutexName);
    if (mutex)
        ::CloseHandle(mutex);
    return mutex != nullptr;
}

std::string DropFolder()
{
    return uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA_COPY";
}

std::string StagingFile(const char* name)
{
    return uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA\\" + name;
}

// After every run: nothing of it is left but the application's files.
void ExpectCleanedUp()
{
    EXPECT_FALSE(RunValuesPresent()) << "run values left behind";
    EXPECT_FALSE(MutexExists()) << "the run's mutex is still there";
    EXPECT_FALSE(::WaitNamedPipeA(uiext2::kCompanionPipeName, 0)) << "the pipe is still there";
}

struct MessageCase
{
    const char* name;
    const char* script;
    LONG files; // recorded, and present in the application's folder
};

class ScanRunMessages : public ScanTest, public testing::WithParamInterface<MessageCase>
{
};

TEST_P(ScanRunMessages, EndTheRunAndRecordWhatWasTransferred)
{
    DialogRecord record(Scanner(), output_);
    EXPECT_EQ(S_OK, RunDialog(GetParam().script, record.data));

    EXPECT_EQ(GetParam().files, record.data.lNumFiles);
    if (GetParam().files == 0)
    {
        EXPECT_EQ(nullptr, record.data.pbstrFilePaths) << "no batch came: the caller's array stays";
    }
    std::vector<std::string> paths;
    for (LONG i = 0; i < record.data.lNumFiles; ++i)
    {
        paths.push_back(record.Path(i));
        EXPECT_TRUE(uiext2_test::FileExists(paths.back())) << paths.back();
        EXPECT_EQ(0u, paths.back().rfind(output_ + "\\Scan", 0)) << paths.back();
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths.end(), std::adjacent_find(paths.begin(), paths.end())) << "a path recorded twice";
    EXPECT_EQ(static_cast<size_t>(GetParam().files), Entries(output_).size()) << "files nobody was told of";
    ExpectCleanedUp();
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ScanRunMessages,
    testing::Values(MessageCase{"ScanEndFirst", "connect;scan:2;send:1134", 0},
                    MessageCase{"OtherValue", "connect;scan:2;send:3", 0},
                    MessageCase{"PipeClosedWithoutMessage", "connect;scan:2;close;sleep:300", 0},
                    MessageCase{"ExitsBeforeConnecting", "scan:2;exit", 0},
                    MessageCase{"NeverConnects", "scan:2;sleep:700", 0},
                    MessageCase{"PartialValueIsNoMessage", "connect;scan:2;partial:2;close", 0},
                    MessageCase{"OneBatch", "connect;scan:2;send:2;send:1134", 2},
                    MessageCase{"ValueInTwoWrites", "connect;scan:1;split:2;send:1134", 1},
                    MessageCase{"PipeClosedAfterBatch", "connect;scan:2;send:2;close", 2},
                    // The second walk finds the first page again, as the driver still lists it.
                    MessageCase{"TwoBatchesGrowOneArray", "connect;scan:1;send:2;scan:1;send:2;send:1134", 3},
                    MessageCase{"FailedDownloadLeftOut", "connect;scan:1;scan:1:bmp:50:fail;send:2;send:1134", 1}),
    [](const testing::TestParamInfo<MessageCase>& row) { return std::string(row.param.name); });

// What the companion finds while the run waits for it: the run values, the staging copies, the drop folder, and a pipe
// for this user alone.
TEST_F(ScanTest, CompanionFindsWhatTheRunPublished)
{
    DialogRecord record(Scanner(), output_);
    ASSERT_EQ(S_OK, RunDialog("connect;report;send:1134", record.data));

    char application[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, application, MAX_PATH);
    const char* suffix = std::getenv("UIEXT2_EXPECTED_LANGUAGE_SUFFIX");
    const std::string language = suffix ? suffix : "enu";
    const struct
    {
        const char* name;
        std::string text;
    } values[] = {
        {"Application", application},
        {"HelpPath", uiext2_test::ProgramFilesFolder() + "\\WIA Scanner\\USB2\\WIAHelp_" + language + ".chm"},
        {"LanguageDll", "VTTWGUILang_" + language + ".dll"},
    };
    for (const auto& value : values)
        EXPECT_EQ(value.text, Reported(value.name)) << value.name;
    for (const char* file : {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"})
        EXPECT_EQ("1", Reported((std::string("Staged ") + file).c_str())) << file;
    EXPECT_EQ("1", Reported("DropFolder"));

    // One entry: this user, full access. Not the default DACL, which admits more.
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
    ::CloseHandle(token);
    char* sid = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid));
    const std::string dacl = Reported("PipeDacl");
    EXPECT_EQ(0u, dacl.rfind("D:P(A;;", 0)) << dacl;
    EXPECT_EQ(dacl.size() - std::strlen(sid) - 1, dacl.find(sid)) << dacl;
    EXPECT_EQ(1, std::count(dacl.begin(), dacl.end(), '(')) << dacl;
    ::LocalFree(sid);
    ExpectCleanedUp();
}

// The companion's staging copies become the device's files, byte for byte; a copy it
// was not handed (left by an earlier run, perhaps of another device) never does.
TEST_F(ScanTest, StagingCopiesComeBack)
{
    const std::string device = uiext2_test::DeviceFolder(deviceName_);
    ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + "\\Velmora").c_str(), nullptr);
    ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + "\\Velmora\\WIA").c_str(), nullptr);
    ::CreateDirectoryA(device.c_str(), nullptr);
    ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA").c_str(), nullptr);
    // Only the settings file exists, so the device is not provisioned again.
    ASSERT_TRUE(uiext2_test::WriteFileText(device + "\\VT_TWAIN1.ini", "[Contents]\r\nUnit=1\r\n"));
    ASSERT_TRUE(uiext2_test::WriteFileText(StagingFile("RegList.ini"), "[Scanner1]\r\nModel=another\r\n"));

    DialogRecord record(Scanner(), output_);
    ASSERT_EQ(S_OK, RunDialog("connect;edit:by the companion;send:1134", record.data));

    const std::string settings = uiext2_test::FileText(device + "\\VT_TWAIN1.ini");
    EXPECT_EQ(uiext2_test::FileText(StagingFile("VT_TWAIN1.ini")), settings);
    std::string edited;
    EXPECT_TRUE(uiext2_test::ReadIni(device + "\\VT_TWAIN1.ini", "Companion", "Edited", edited));
    EXPECT_EQ("by the companion", edited);
    EXPECT_FALSE(uiext2_test::FileExists(device + "\\RegList.ini")) << "another device's copy came back";
}

// A device name that cannot name a folder: no settings work at all, and still a scan.
TEST_F(ScanTest, UnusableDeviceNameStillScans)
{
    const uiext2::DeviceFilesRecord before = uiext2::DeviceFiles();
    fakes::ScannerSetup setup = DeviceSetup(0);
    setup.deviceName = L"Scanner: \\ / *";
    setup.trayFolder = Wide(tray_);
    scanner_ = fakes::MakeScanner(setup);
    DialogRecord record(scanner_.root.Get(), output_);
    ASSERT_EQ(S_OK, RunDialog("connect;scan:1;send:2;send:1134", record.data));
    EXPECT_EQ(1, record.data.lNumFiles);
    EXPECT_STREQ(before.settingsFile, uiext2::DeviceFiles().settingsFile);
    ExpectCleanedUp();
}

struct DropCase
{
    const char* name;
    const char* script;
    size_t remaining;
    bool folderStays;
};

class ImageDropFolder : public ScanTest, public testing::WithParamInterface<DropCase>
{
};

TEST_P(ImageDropFolder, IsEmptiedOfAtMost2001Images)
{
    DialogRecord record(Scanner(), output_);
    ASSERT_EQ(S_OK, RunDialog(GetParam().script, record.data));
    EXPECT_EQ(GetParam().remaining, Entries(DropFolder()).size());
    EXPECT_EQ(GetParam().folderStays, uiext2_test::FolderExists(DropFolder()));
    uiext2_test::RemoveFolder(DropFolder());
}

INSTANTIATE_TEST_SUITE_P(Entries, ImageDropFolder,
                         testing::Values(DropCase{"Empty", "connect;send:1134", 0, false},
                                         DropCase{"ThreeImages", "connect;drop:3;send:1134", 0, false},
                                         DropCase{"Over2001Images", "connect;drop:2005;send:1134", 4, true},
                                         DropCase{"ForeignEntryKept", "connect;drop:2;foreign:notes.txt;send:1134", 1,
                                                  true}),
                         [](const testing::TestParamInfo<DropCase>& row) { return std::string(row.param.name); });

// Only the children of the root's first folder child are pages.
TEST_F(ScanTest, ItemWalkLooksOnlyAtTheFirstFolder)
{
    fakes::Scanner noFolder = fakes::MakeScanner(DeviceSetup(2));
    noFolder.root->children = {noFolder.flatbed};
    fakes::Scanner emptyFolder = fakes::MakeScanner(DeviceSetup(0));
    fakes::Scanner twoFolders = fakes::MakeScanner(DeviceSetup(1));
    fakes::Scanner second = fakes::MakeScanner(DeviceSetup(2));
    twoFolders.root->children.push_back(second.folder);
    const struct
    {
        const char* name;
        IWiaItem2* root;
        LONG files;
        bool array;
    } cases[] = {{"no folder child", noFolder.root.Get(), 0, false},
                 {"empty folder", emptyFolder.root.Get(), 0, true},
                 {"two folders", twoFolders.root.Get(), 1, true}};
    for (const auto& c : cases)
    {
        DialogRecord record(c.root, output_);
        ASSERT_EQ(S_OK, RunDialog("connect;send:2;send:1134", record.data)) << c.name;
        EXPECT_EQ(c.files, record.data.lNumFiles) << c.name;
        EXPECT_EQ(c.array, record.data.pbstrFilePaths != nullptr) << c.name;
    }
    EXPECT_EQ(0, second.folder->CallCount("EnumChildItems")) << "a second folder child was looked at";
}

// A second DeviceDialog while a run is active, from another thread of this process,
// returns at once and disturbs nothing; so does one while anyone holds the mutex.
TEST_F(ScanTest, SecondRunIsRefused)
{
    HRESULT secondResult = E_UNEXPECTED;
    DialogRecord second(Scanner(), output_);
    std::thread other(
        [&]
        {
            HANDLE connected = ::CreateEventA(nullptr, TRUE, FALSE, "uiext2 test connected");
            HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, "uiext2 test second done");
            if (::WaitForSingleObject(connected, 20000) == WAIT_OBJECT_0)
                secondResult = RunDialog("connect;send:1134", second.data);
            ::SetEvent(done);
            ::CloseHandle(connected);
            ::CloseHandle(done);
        });
    DialogRecord first(Scanner(), output_);
    ASSERT_EQ(S_OK, RunDialog("connect;scan:1;signal:uiext2 test connected;await:uiext2 test second done;send:2;"
                              "send:1134",
                              first.data));
    other.join();
    EXPECT_EQ(S_FALSE, secondResult);
    EXPECT_EQ(0, second.data.lNumFiles);
    EXPECT_EQ(1, first.data.lNumFiles) << "the active run was disturbed";
    EXPECT_EQ("1", Reported("Starts")) << "the refused run started a companion";

    HANDLE held = ::CreateMutexA(nullptr, FALSE, uiext2::kScanRunMutexName);
    ASSERT_NE(nullptr, held);
    DialogRecord refused(Scanner(), output_);
    EXPECT_EQ(S_FALSE, RunDialog("connect;send:1134", refused.data));
    EXPECT_TRUE(MutexExists()) << "the other run's mutex";
    EXPECT_FALSE(RunValuesPresent());
    EXPECT_EQ("1", Reported("Starts"));
    ::CloseHandle(held);
    ExpectCleanedUp();
}

// No companion, or no pipe: the run cleans up and returns the platform's error; without
// a pipe the companion is not started.
TEST_F(ScanTest, LaunchAndPipeFailuresAreReturned)
{
    HANDLE squatter = ::CreateNamedPipeA(uiext2::kCompanionPipeName, PIPE_ACCESS_INBOUND, 0, 1, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, squatter);
    DialogRecord blocked(Scanner(), output_);
    EXPECT_TRUE(FAILED(RunDialog("connect;send:1134", blocked.data)));
    EXPECT_EQ("", Reported("Starts")) << "started without a pipe";
    ::CloseHandle(squatter);
    ExpectCleanedUp();

    ASSERT_TRUE(::DeleteFileA(uiext2_test::InstalledCompanion::Path().c_str()));
    DialogRecord missing(Scanner(), output_);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), RunDialog("connect;send:1134", missing.data));
    EXPECT_FALSE(uiext2_test::FolderExists(DropFolder()));
    ExpectCleanedUp();
}

int g_postedSeen = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        ++g_postedSeen;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// The application's window is disabled for the run and keeps answering, its posted
// messages are dispatched, and a WM_QUIT that came meanwhile is there again afterwards.
TEST_F(ScanTest, ApplicationWindowStaysAlive)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "uiext2 test owner";
    ::RegisterClassA(&windowClass);
    HWND owner = ::CreateWindowA("uiext2 test owner", "Scan app", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, owner);
    ::PostMessageA(owner, WM_APP, 0, 0);
    ::PostQuitMessage(7);

    DialogRecord record(Scanner(), output_);
    record.data.hwndParent = owner;
    ASSERT_EQ(S_OK, RunDialog("connect;owner:uiext2 test owner;send:1134", record.data));
    EXPECT_EQ("1", Reported("OwnerFound"));
    EXPECT_EQ("0", Reported("OwnerEnabled"));
    EXPECT_EQ("1", Reported("OwnerAnswers"));
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_EQ(1, g_postedSeen);
    MSG message = {};
    EXPECT_TRUE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, message.wParam);
    ::DestroyWindow(owner);
}

} // namespace
} // namespace scan_test
