// The scan run end to end under Wine: the real mutex, registry, files and pipe, the
// simulated companion program in its own process and the simulated scanner in this one.
#include "scan_fixture.h"

#include "com/module.h"
#include "device/settings_store.h"
#include "scan/companion_pipe.h"
#include "scan/scan_names.h"
#include "support/unique.h"
#include "unix_side.h"

#include <aclapi.h>
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
    HRESULT result = S_OK;
};

class ScanRunMessages : public ScanTest, public testing::WithParamInterface<MessageCase>
{
};

TEST_P(ScanRunMessages, EndTheRunAndRecordWhatWasTransferred)
{
    DialogRecord record(Scanner(), output_);
    EXPECT_EQ(GetParam().result, RunDialog(GetParam().script, record.data));

    EXPECT_EQ(GetParam().files, record.data.lNumFiles);
    if (GetParam().files == 0 && GetParam().result == S_OK)
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
                    // The second walk finds the first page again, as the driver still lists it; the
                    // companion waits before its second page, so that the first walk sees one.
                    MessageCase{"TwoBatchesGrowOneArray", "connect;scan:1;send:2;sleep:500;scan:1;send:2;send:1134", 3},
                    MessageCase{"FailedDownloadLeftOut", "connect;scan:1;scan:1:bmp:50:fail;send:2;send:1134", 1},
                    MessageCase{"NoPageSavedIsAFailure", "connect;scan:2:bmp:50:fail;send:2;send:1134", 0, E_FAIL}),
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

// The pipe's label refuses every process below this one's integrity level, for opening to
// read as to write. Read back from a pipe made with the descriptor: Wine stores the label
// and gives it back, though it does not enforce it.
TEST(CompanionPipeSecurity, LabelsThePipeAtThisProcessLevel)
{
    uiext2::UniqueLocal descriptor;
    ASSERT_EQ(S_OK, uiext2::CompanionPipeSecurity(descriptor));
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.get(), FALSE};
    const uiext2::UniqueFile pipe(::CreateNamedPipeA("\\\\.\\pipe\\uiext2 label test", PIPE_ACCESS_INBOUND,
                                                     PIPE_TYPE_BYTE, 1, 0, 64, 0, &security));
    ASSERT_TRUE(pipe);
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR read = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ::GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                &sacl, &read));
    const uiext2::UniqueLocal held(read);
    ASSERT_TRUE(sacl && sacl->AceCount == 1);
    SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
    ASSERT_TRUE(::GetAce(sacl, 0, reinterpret_cast<void**>(&label)));
    EXPECT_EQ(SYSTEM_MANDATORY_LABEL_ACE_TYPE, label->Header.AceType);
    EXPECT_EQ(static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP | SYSTEM_MANDATORY_LABEL_NO_READ_UP), label->Mask);

    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_MANDATORY_LABEL) BYTE level[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token, TokenIntegrityLevel, level, sizeof(level), &size));
    ::CloseHandle(token);
    EXPECT_TRUE(::EqualSid(&label->SidStart, reinterpret_cast<TOKEN_MANDATORY_LABEL*>(level)->Label.Sid));
}

// From a host started hidden, in a folder of its own, the companion starts as a program of
// its own: shown normally, in its own folder. The test runs itself again as that host.
TEST_F(ScanTest, CompanionStartsShownInItsOwnFolder)
{
    if (std::getenv("UIEXT2_HIDDEN_HOST"))
    {
        DialogRecord record(Scanner(), output_);
        ASSERT_EQ(S_OK, RunDialog("connect;report;send:1134", record.data));
        EXPECT_EQ(std::to_string(SW_SHOWNORMAL), Reported("ShowWindow"));
        const std::string program = uiext2_test::InstalledCompanion::Path();
        EXPECT_EQ(program.substr(0, program.rfind('\\')), Reported("CurrentFolder"));
        return;
    }
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = "host --gtest_filter=ScanTest.CompanionStartsShownInItsOwnFolder";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION host = {};
    ::SetEnvironmentVariableA("UIEXT2_HIDDEN_HOST", "1");
    const BOOL started =
        ::CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, output_.c_str(), &startup, &host);
    ::SetEnvironmentVariableA("UIEXT2_HIDDEN_HOST", nullptr);
    ASSERT_TRUE(started);
    DWORD exitCode = 1;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(host.hProcess, 60000));
    ::GetExitCodeProcess(host.hProcess, &exitCode);
    ::CloseHandle(host.hThread);
    ::CloseHandle(host.hProcess);
    EXPECT_EQ(0u, exitCode) << "the hidden host's checks failed";
}

// The companion's changes come back key by key into the device's file as the Settings page
// left it during the run: a key the page applied survives the companion's edit of another
// key, the companion's value wins where both changed one, a key it removed goes. A copy it
// was not handed (left by an earlier run, perhaps of another device) never comes back.
TEST_F(ScanTest, CompanionChangesComeBackKeyByKey)
{
    const std::string device = uiext2_test::DeviceFolder(deviceName_);
    const std::string settingsFile = device + "\\VT_TWAIN1.ini";
    const struct
    {
        const char* name;
        const char* companion; // before it lets the page apply Compression=5
        const char* compression;
        const char* unit;
        const char* file = "[Contents]\r\nCompression=1\r\nUnit=0\r\n";
    } cases[] = {{"companion changed nothing", "", "5", "0"},
                 {"companion changed another key", "key:Contents:Unit:1;", "5", "1"},
                 {"both changed one key", "key:Contents:Compression:3;", "3", "0"},
                 {"companion removed a key", "key:Contents:Unit;", "5", "(absent)"},
                 {"UTF-8 mark, a comment first", "key:Contents:Unit:1;", "5", "1",
                  "\xEF\xBB\xBF;\r\n[Contents]\r\nCompression=1\r\nUnit=0\r\n"},
                 // Windows would not find the companion's change where Wine does: it is not merged.
                 {"UTF-8 mark, the section on its line", "key:Contents:Unit:1;", "5", "0",
                  "\xEF\xBB\xBF[Contents]\r\nCompression=1\r\nUnit=0\r\n"}};
    for (const auto& c : cases)
    {
        for (const char* folder : {"\\Velmora", "\\Velmora\\WIA", "\\Velmora\\VT_WIA"})
            ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + folder).c_str(), nullptr);
        ::CreateDirectoryA(device.c_str(), nullptr);
        // Only the settings file exists, so the device is not provisioned again.
        ASSERT_TRUE(uiext2_test::WriteFileText(settingsFile, c.file));
        ASSERT_TRUE(uiext2_test::WriteFileText(StagingFile("RegList.ini"), "[Scanner1]\r\nModel=another\r\n"));
        NamedEvent staged("uiext2 test staged"), applied("uiext2 test applied");
        std::thread page(
            [&]
            {
                if (staged.Wait())
                    ::WritePrivateProfileStringA("Contents", "Compression", "5", settingsFile.c_str());
                applied.Set();
            });
        DialogRecord record(Scanner(), output_);
        const HRESULT result = RunDialog(std::string("connect;") + c.companion +
                                             "signal:uiext2 test staged;await:uiext2 test applied;send:1134",
                                         record.data);
        page.join();
        ASSERT_EQ(S_OK, result) << c.name;

        std::string compression, unit = "(absent)";
        uiext2_test::ReadIni(settingsFile, "Contents", "Compression", compression);
        uiext2_test::ReadIni(settingsFile, "Contents", "Unit", unit);
        EXPECT_EQ(c.compression, compression) << c.name;
        EXPECT_EQ(c.unit, unit) << c.name;
        EXPECT_FALSE(uiext2_test::FileExists(device + "\\RegList.ini")) << "another device's copy came back";
        uiext2_test::RemoveDeviceFolder(deviceName_);
    }
}

// The companion is told first, while the clean-up is still to come; the pipe's name goes
// last: at the moment a companion finds it gone, the copy-back is in the device's file and
// the drop folder, with its 1000 images, is gone.
TEST_F(ScanTest, PipeGoesAfterCopyBackAndDropFolder)
{
    const std::string settingsFile = uiext2_test::DeviceFolder(deviceName_) + "\\VT_TWAIN1.ini";
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_WATCH", settingsFile.c_str());
    DialogRecord record(Scanner(), output_);
    const HRESULT result =
        RunDialog("connect;drop:1000;key:Contents:Unit:7;send:1134;hold:10000;report;close;gone:20000", record.data);
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_WATCH", nullptr);
    EXPECT_EQ(S_OK, result);
    HANDLE alive = ::OpenMutexA(SYNCHRONIZE, FALSE, "uiext2 simulated companion");
    if (alive && ::WaitForSingleObject(alive, 20000) != WAIT_TIMEOUT)
        ::ReleaseMutex(alive);
    if (alive)
        ::CloseHandle(alive);

    EXPECT_EQ("1", Reported("PipeEnded"));
    EXPECT_EQ("1", Reported("DropFolder")) << "the companion was told only after the clean-up";
    EXPECT_EQ("1", Reported("PipeGone"));
    EXPECT_EQ("0", Reported("DropFolderAtGone"));
    EXPECT_EQ(std::to_string(ERROR_PIPE_BUSY), Reported("RefusedBeforeGone")) << "nobody listens meanwhile";
    std::string unit;
    uiext2_test::ReadIni(report_ + ".watched", "Contents", "Unit", unit);
    EXPECT_EQ("7", unit) << "the copy-back was not done when the pipe went";
    ::DeleteFileA((report_ + ".watched").c_str());
}

// A link planted in place of the staging folder: where the platform shows the link itself
// (Windows) it is removed and the scan delivers its page; where it does not (Wine) the staging
// folder cannot be ours, and the companion, which would read whatever the link leads to, is not
// started. The victim's folder stays as it was. (A link at any other name of ours is the
// store's table, in own_folder_test.)
TEST_F(ScanTest, ALinkedStagingFolderLeadsNowhere)
{
    const std::string staging = uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA";
    const std::string victim = FreshFolder("victim");
    for (const char* name : {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"})
        ASSERT_TRUE(uiext2_test::WriteFileText(victim + "\\" + name, std::string("[Victim]\r\nFile=") + name + "\r\n"));
    const std::string before = uiext2_test::Snapshot(victim);
    ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + "\\Velmora").c_str(), nullptr);
    ::CreateDirectoryA(staging.c_str(), nullptr);
    using uiext2_test::OnC;
    ASSERT_TRUE(uiext2_test::UnixShell("mv " + OnC(staging) + " " + OnC(staging + ".aside") + "; ln -s " + OnC(victim) +
                                       " " + OnC(staging)));
    DialogRecord record(Scanner(), output_);
    const HRESULT result = RunDialog("connect;scan:1;send:2;send:1134", record.data);
    ASSERT_TRUE(
        uiext2_test::UnixShell("rm -f " + OnC(staging) + "; mv " + OnC(staging + ".aside") + " " + OnC(staging)));
    const bool refused = result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(refused || result == S_OK) << result;
    EXPECT_EQ(refused ? 0 : 1, record.data.lNumFiles);
    EXPECT_EQ(before, uiext2_test::Snapshot(victim));
    uiext2_test::RemoveFolder(victim);
}

// A device name that cannot name a folder: no settings work at all, and still a scan.
TEST_F(ScanTest, UnusableDeviceNameStillScans)
{
    fakes::ScannerSetup setup = DeviceSetup(0);
    setup.deviceName = L"Scanner: \\ / *";
    setup.trayFolder = Wide(tray_);
    scanner_ = fakes::MakeScanner(setup);
    DialogRecord record(scanner_.root.Get(), output_);
    ASSERT_EQ(S_OK, RunDialog("connect;scan:1;send:2;send:1134", record.data));
    EXPECT_EQ(1, record.data.lNumFiles);
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

// No pipe, because a run in another logon session holds its name: the run returns the
// platform's error and touches nothing that session uses (its staging copies and drop
// folder), nor the device's folder. No companion: the error, after a full clean-up.
TEST_F(ScanTest, LaunchAndPipeFailuresAreReturned)
{
    const std::string theirs = "[Contents]\r\nTheirs=1\r\n";
    ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + "\\Velmora").c_str(), nullptr);
    ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA").c_str(), nullptr);
    ::CreateDirectoryA(DropFolder().c_str(), nullptr);
    ASSERT_TRUE(uiext2_test::WriteFileText(StagingFile("VT_TWAIN1.ini"), theirs));
    ASSERT_TRUE(uiext2_test::WriteFileText(DropFolder() + "\\image.1", theirs));
    {
        NamedEvent held("uiext2 test held"), release("uiext2 test release");
        ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT",
                                  "occupy;signal:uiext2 test held;await:uiext2 test release");
        ASSERT_TRUE(uiext2_test::StartProgram(uiext2_test::InstalledCompanion::Path(), ""));
        ASSERT_TRUE(held.Wait());
        DialogRecord blocked(Scanner(), output_);
        EXPECT_TRUE(FAILED(RunDialog("connect;send:1134", blocked.data)));
        release.Set();
    }
    uiext2_test::InstalledCompanion::WaitUntilGone();
    EXPECT_EQ("1", Reported("Starts")) << "started without a pipe";
    EXPECT_EQ(theirs, uiext2_test::FileText(StagingFile("VT_TWAIN1.ini")));
    EXPECT_EQ(theirs, uiext2_test::FileText(DropFolder() + "\\image.1"));
    EXPECT_FALSE(uiext2_test::FolderExists(uiext2_test::DeviceFolder(deviceName_)));
    ExpectCleanedUp();
    uiext2_test::RemoveFolder(DropFolder());

    ASSERT_TRUE(::DeleteFileA(uiext2_test::InstalledCompanion::Path().c_str()));
    DialogRecord missing(Scanner(), output_);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), RunDialog("connect;send:1134", missing.data));
    EXPECT_FALSE(uiext2_test::FolderExists(DropFolder()));
    ExpectCleanedUp();
}

struct WindowLog
{
    int posted = 0;           // WM_APP dispatched
    int enabledBeforeEnd = 0; // enabled again while the run values were still there
} g_log;

LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_log.posted += message == WM_APP;
    g_log.enabledBeforeEnd += message == WM_ENABLE && wParam && RunValuesPresent();
    return ::DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* name, HWND parent)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = LoggingProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    ::RegisterClassA(&windowClass);
    return ::CreateWindowA(name, name, parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, parent, nullptr,
                           windowClass.hInstance, nullptr);
}

// The window a modal dialog would disable is disabled for the run and keeps answering,
// posted messages are dispatched, and it is enabled again before the clean-up. A child
// window stands for its top-level window; another thread's window is left alone.
TEST_F(ScanTest, DisablesTheTopLevelWindowOfThisThread)
{
    const struct
    {
        const char* name;
        bool child, otherThread;
    } cases[] = {{"top-level window", false, false}, {"child window", true, false}, {"other thread", false, true}};
    for (const auto& c : cases)
    {
        HWND owner = nullptr;
        HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD otherId = 0;
        std::thread other;
        if (c.otherThread)
            other = std::thread(
                [&]
                {
                    otherId = ::GetCurrentThreadId();
                    owner = MakeWindow("uiext2 test owner", nullptr);
                    ::SetEvent(ready);
                    MSG message;
                    while (::GetMessageA(&message, nullptr, 0, 0) > 0)
                        ::DispatchMessageA(&message);
                    ::DestroyWindow(owner);
                });
        else
            owner = MakeWindow("uiext2 test owner", nullptr);
        ::WaitForSingleObject(ready, c.otherThread ? 10000 : 0);
        ASSERT_NE(nullptr, owner) << c.name;
        g_log = {};
        DialogRecord record(Scanner(), output_);
        record.data.hwndParent = c.child ? MakeWindow("uiext2 test child", owner) : owner;
        if (!c.otherThread) // that thread would dispatch it
            ::PostMessageA(record.data.hwndParent, WM_APP, 0, 0);
        ASSERT_EQ(S_OK, RunDialog("connect;owner:uiext2 test owner;send:1134", record.data)) << c.name;
        EXPECT_EQ("1", Reported("OwnerFound")) << c.name;
        EXPECT_EQ(c.otherThread ? "1" : "0", Reported("OwnerEnabled")) << c.name;
        EXPECT_EQ("1", Reported("OwnerAnswers")) << c.name;
        EXPECT_TRUE(::IsWindowEnabled(owner)) << c.name;
        EXPECT_EQ(c.otherThread ? 0 : 1, g_log.posted) << c.name;
        EXPECT_EQ(c.otherThread ? 0 : 1, g_log.enabledBeforeEnd) << c.name;
        if (c.otherThread)
        {
            ::PostThreadMessageA(otherId, WM_QUIT, 0, 0);
            other.join();
        }
        else
            ::DestroyWindow(owner);
        ::CloseHandle(ready);
    }
}

// A WM_QUIT during the wait ends a run whose companion stays silent: at once, cleaned up,
// the pipe closed for the companion to see, and the quit posted again.
TEST_F(ScanTest, QuitEndsTheRun)
{
    const DWORD thread = ::GetCurrentThreadId();
    std::thread quitter(
        [thread]
        {
            HANDLE waiting = ::CreateEventA(nullptr, TRUE, FALSE, "uiext2 test waiting");
            if (::WaitForSingleObject(waiting, 20000) == WAIT_OBJECT_0)
                ::PostThreadMessageA(thread, WM_QUIT, 7, 0);
            ::CloseHandle(waiting);
        });
    DialogRecord record(Scanner(), output_);
    const DWORD start = ::GetTickCount();
    const HRESULT result = RunDialog("connect;signal:uiext2 test waiting;hold:15000", record.data);
    const DWORD elapsed = ::GetTickCount() - start;
    quitter.join();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CANCELLED), result);
    EXPECT_LT(elapsed, 5000u);
    ExpectCleanedUp();
    MSG message = {};
    EXPECT_TRUE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, message.wParam);

    HANDLE alive = ::OpenMutexA(SYNCHRONIZE, FALSE, "uiext2 simulated companion");
    if (alive && ::WaitForSingleObject(alive, 10000) != WAIT_TIMEOUT)
        ::ReleaseMutex(alive);
    if (alive)
        ::CloseHandle(alive);
    EXPECT_EQ("1", Reported("PipeEnded"));
}

// Only the companion is served: another process that connects first is cut off, and the
// companion still gets through. Every wait ends when the companion exits, even while a
// stranger or another holder of the companion's end keeps the pipe open: the run ends as a
// cancelled scan within moments, the owner enabled again, and what the companion wrote
// before it exited is still served.
TEST_F(ScanTest, RunServesOnlyItsCompanionAndEndsWithIt)
{
    const struct
    {
        const char* name;
        bool stranger; // another process connects before the companion, and holds on
        const char* script;
        LONG files;
    } cases[] = {
        {"stranger first", true, "await:uiext2 test stranger;connect;scan:1;send:2;send:1134", 1},
        {"stranger first, companion exits", true, "await:uiext2 test stranger;exit", 0},
        {"exits, pipe left open", false, "connect;lend;exit", 0},
        {"last words, pipe left open", false, "connect;scan:2;lend;send:2;send:2;exit", 4},
    };
    ::SetEnvironmentVariableA("UIEXT2_HOST_PID", std::to_string(::GetCurrentProcessId()).c_str());
    for (const auto& c : cases)
    {
        NamedEvent strangerIn("uiext2 test stranger");
        // What holds the pipe lets go after 20 s, or when the run has ended.
        HANDLE ended = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread holder(
            [&]
            {
                HANDLE pipe = INVALID_HANDLE_VALUE;
                for (int i = 0; c.stranger && i < 1000 && pipe == INVALID_HANDLE_VALUE; ++i, ::Sleep(10))
                    pipe = ::CreateFileA(uiext2::kCompanionPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
                strangerIn.Set();
                ::WaitForSingleObject(ended, 20000);
                const std::string lent = Reported("Lent");
                ::CloseHandle(c.stranger ? pipe : reinterpret_cast<HANDLE>(std::strtoull(lent.c_str(), nullptr, 0)));
            });
        HWND owner =
            ::CreateWindowA("STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        DialogRecord record(Scanner(), output_);
        record.data.hwndParent = owner;
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(S_OK, RunDialog(c.script, record.data)) << c.name;
        const DWORD elapsed = ::GetTickCount() - start;
        ::SetEvent(ended);
        holder.join();
        ::CloseHandle(ended);
        EXPECT_LT(elapsed, 8000u) << c.name;
        EXPECT_EQ(c.files, record.data.lNumFiles) << c.name;
        EXPECT_TRUE(::IsWindowEnabled(owner)) << c.name;
        ::DestroyWindow(owner);
        ExpectCleanedUp();
        uiext2_test::InstalledCompanion::WaitUntilGone();
        ::DeleteFileA(report_.c_str());
        uiext2_test::RemoveFolder(tray_);
        ::CreateDirectoryA(tray_.c_str(), nullptr);
    }
}

ComPtr<IWiaUIExtension2> g_extension;
ULONG g_rootRefs = 0;
HRESULT g_canUnload = E_UNEXPECTED;
IWiaItem2* g_root = nullptr;

LRESULT CALLBACK ReleasingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
    {
        g_root->AddRef();
        g_rootRefs = g_root->Release();
        g_extension.Reset(); // the application lets go of the extension
        g_canUnload = uiext2::CanUnloadNow();
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// While the run waits, it holds its own reference on the root item and the module: an
// application that lets go of the extension from a handler does not unload it.
TEST_F(ScanTest, RunHoldsTheRootAndTheModule)
{
    g_root = Scanner();
    g_root->AddRef();
    const ULONG before = g_root->Release();
    ASSERT_EQ(S_OK, uiext2::UiExtensionClassFactory::Instance().CreateInstance(
                        nullptr, IID_IWiaUIExtension2, reinterpret_cast<void**>(g_extension.GetAddressOf())));
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ReleasingProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "uiext2 test releasing";
    ::RegisterClassA(&windowClass);
    HWND window = ::CreateWindowA("uiext2 test releasing", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ::PostMessageA(window, WM_APP, 0, 0);
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT", "connect;scan:1;send:2;send:1134");
    DialogRecord record(g_root, output_);
    IWiaUIExtension2* extension = g_extension.Get();
    EXPECT_EQ(S_OK, extension->DeviceDialog(&record.data));
    ::DestroyWindow(window);
    EXPECT_EQ(before + 1, g_rootRefs);
    EXPECT_EQ(S_FALSE, g_canUnload);
    EXPECT_EQ(S_OK, uiext2::CanUnloadNow()) << "the run still holds the module";
    EXPECT_EQ(1, record.data.lNumFiles);
    g_extension.Reset();
}

} // namespace
} // namespace scan_test
