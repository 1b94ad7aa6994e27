// The hand-off of the device's settings to the companion program and back: what the
// companion finds in the staging folder, and what of its copies comes back once it is gone.
#include "hand_off_steps.h"

#include "holder.h"
#include "support/unique.h"

namespace scan_test
{
namespace
{

// What the companion writes after it ended the scan, or as it exits, comes back; a copy it
// left empty changes nothing; one that stays past the bound is merged as its copy stands,
// without the run waiting for it any longer.
TEST_F(ScanTest, TheCompanionsLastWordComesBack)
{
    const std::string settings = uiext2_test::DeviceFolder(deviceName_) + "\\VT_TWAIN1.ini";
    const struct
    {
        const char* name;
        const char* script;
        const char* late;   // Contents/Late afterwards
        ULONGLONG atMostMs; // the run's whole length, launch included, on a busy machine
    } rows[] = {
        {"written after ScanEnd", "connect;send:1134;sleep:700;key:Contents:Late:after", "after", 9000},
        {"written after the pipe closed", "connect;close;sleep:700;key:Contents:Late:closed", "closed", 9000},
        {"copy emptied", "connect;key:Contents:Late:lost;empty;send:1134", "(absent)", 9000},
        // Ends long before the companion, which lives 12 s past the scan's end.
        {"still running past the bound", "connect;key:Contents:Late:stands;send:1134;sleep:12000", "stands", 10500},
    };
    for (const auto& row : rows)
    {
        PrepareFolders(deviceName_);
        DialogRecord record(Scanner(), output_);
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(S_OK, RunDialog(row.script, record.data)) << row.name;
        const ULONGLONG took = ::GetTickCount64() - start;
        AwaitCompanionGone();
        std::string late = "(absent)", address, user;
        uiext2_test::ReadIni(settings, "Contents", "Late", late);
        uiext2_test::ReadIni(settings, "Contents", "ScannerAddress", address);
        uiext2_test::ReadIni(settings, "Authentication", "UserName", user);
        EXPECT_EQ(row.late, late) << row.name;
        EXPECT_EQ("10.0.0.1", address) << row.name;
        EXPECT_EQ("me", user) << row.name;
        EXPECT_LT(took, row.atMostMs) << row.name;
        uiext2_test::RemoveDeviceFolder(deviceName_);
    }
}

// Before the companion starts, every copy is this device's or gone: never another device's
// address or another user's login. A stale copy that can be neither replaced nor removed
// keeps the companion from starting, and the run says why.
TEST_F(ScanTest, TheCompanionGetsNoCopyOfAnotherDevice)
{
    const struct
    {
        const char* name;
        const wchar_t* deviceName; // null: the test's own
        DWORD holdMs;              // the stale settings copy held open, unshared, this long
        HRESULT result;
        const char* staged; // what the companion found of the settings copy
    } rows[] = {
        {"the device's own file", nullptr, 0, S_OK, "1"},
        {"a device name that cannot name a folder", L"Scanner: \\ / *", 0, S_OK, "0"},
        {"a stale copy held past the retries", nullptr, 3000, HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), ""},
    };
    for (const auto& row : rows)
    {
        PrepareFolders(deviceName_);
        ::DeleteFileA(report_.c_str());
        fakes::ScannerSetup setup = DeviceSetup(0);
        if (row.deviceName)
            setup.deviceName = row.deviceName;
        setup.trayFolder = Wide(tray_);
        scanner_ = fakes::MakeScanner(setup);
        HANDLE held = row.holdMs ? ::CreateFileA(StagingFile("VT_TWAIN1.ini").c_str(), GENERIC_READ, 0, nullptr,
                                                 OPEN_EXISTING, 0, nullptr)
                                 : INVALID_HANDLE_VALUE;
        uiext2_test::LetsGoAfter letGo(held, row.holdMs);
        DialogRecord record(scanner_.root.Get(), output_);
        EXPECT_EQ(row.result, RunDialog("connect;report;send:1134", record.data)) << row.name;
        letGo.Join();
        AwaitCompanionGone();
        EXPECT_EQ(row.result == S_OK ? "1" : "", Reported("Starts")) << row.name;
        EXPECT_EQ(row.staged, Reported("Staged VT_TWAIN1.ini")) << row.name;
        const std::string copy = uiext2_test::FileText(StagingFile("VT_TWAIN1.ini"));
        if (row.result == S_OK)
        {
            EXPECT_NE(kOtherDevice, copy) << row.name;
            EXPECT_EQ(row.staged[0] == '1' ? kDeviceSettings : "", copy) << row.name;
        }
        scanner_ = fakes::Scanner{};
        uiext2_test::RemoveDeviceFolder(deviceName_);
    }
}

// The host of a run dies (a crash, "End task") at each moment of the run; the next run, in
// another host, finishes the dead one's hand-off: the companion's keys reach the file of the
// device they were made for, and nothing of the record is left.
TEST_F(ScanTest, ARunWhoseHostDiedIsFinishedByTheNext)
{
    if (RunAsDyingHost())
        return;
    const std::string other = deviceName_ + " other";
    const struct
    {
        const char* name;
        const char* script; // of the dying run's companion, which signals the moment
        bool otherDevice;
        bool whenCompanionGone;        // the host is ended just after its companion exits
        bool whileWriterWaits = false; // ... while its copy-back waits for the device's lock
    } rows[] = {
        {"before the companion connects", "key:Contents:Dead:1;signal:uiext2 test moment;sleep:500", false, false},
        {"after it connects", "connect;key:Contents:Dead:2;signal:uiext2 test moment;sleep:500", false, false},
        {"in the middle of a page",
         "connect;scan:1:bmp:400;key:Contents:Dead:3;send:2;signal:uiext2 test moment;sleep:500", false, false},
        {"after ScanEnd, before the clean-up",
         "connect;key:Contents:Dead:4;send:1134;signal:uiext2 test moment;sleep:1500", false, false},
        {"while the drop folder is emptied",
         "connect;key:Contents:Dead:5;drop:2000;signal:uiext2 test moment;send:1134", false, true},
        {"a run for another device", "connect;key:Contents:Dead:6;signal:uiext2 test moment;sleep:500", true, false},
        // The fault: the writer's temporary file, made before the lock was taken, stayed.
        {"a writer waiting for the lock", "connect;key:Contents:Dead:7;signal:uiext2 test moment;send:1134", false,
         false, true},
    };
    for (const auto& row : rows)
    {
        PrepareFolders(deviceName_);
        uiext2_test::RemoveDeviceFolder(other);
        const std::string device = uiext2_test::DeviceFolder(deviceName_);
        HANDLE lock = INVALID_HANDLE_VALUE;
        KillHostAt("ARunWhoseHostDiedIsFinishedByTheNext", row.script, row.otherDevice ? other : "",
                   [&]
                   {
                       if (row.whenCompanionGone)
                       {
                           AwaitCompanionGone();
                           ::Sleep(30);
                       }
                       if (!row.whileWriterWaits)
                           return;
                       lock = HoldDeviceLock(deviceName_);
                       for (int i = 0; i < 400 && Entries(device, "~????????.*").empty(); ++i)
                           ::Sleep(25);
                       EXPECT_FALSE(Entries(device, "~????????.*").empty()) << row.name;
                   });
        if (lock != INVALID_HANDLE_VALUE)
            ::CloseHandle(lock);
        AwaitCompanionGone(); // not stopped: it ends by itself

        DialogRecord record(Scanner(), output_);
        EXPECT_EQ(S_OK, RunDialog("connect;send:1134", record.data)) << row.name;
        AwaitCompanionGone();
        std::string dead = "(absent)", ours = "(absent)";
        uiext2_test::ReadIni(uiext2_test::DeviceFolder(row.otherDevice ? other : deviceName_) + "\\VT_TWAIN1.ini",
                             "Contents", "Dead", dead);
        EXPECT_EQ(std::string(1, row.script[std::string(row.script).find("Dead:") + 5]), dead) << row.name;
        if (row.otherDevice)
        {
            uiext2_test::ReadIni(device + "\\VT_TWAIN1.ini", "Contents", "Dead", ours);
            EXPECT_EQ("(absent)", ours) << "another device's change went into this one's file";
        }
        EXPECT_FALSE(RecordLeft()) << row.name;
        EXPECT_FALSE(uiext2_test::FolderExists(uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA_COPY"))
            << row.name;
        for (const std::string& folder : {device, uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA"})
            EXPECT_TRUE(Entries(folder, "~*").empty()) << row.name << ": left in " << folder;
        uiext2_test::RemoveDeviceFolder(deviceName_);
        uiext2_test::RemoveDeviceFolder(other);
    }
}

} // namespace
} // namespace scan_test
