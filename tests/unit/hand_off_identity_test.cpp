// Which copies a hand-off merges, and when: only the copies it placed, rewritten in place but
// not replaced by another run; never under a dead run's companion that still runs; a copy-back
// that cannot merge now keeps its copy for the next run; a cut copy is no instruction.
#include "hand_off_steps.h"

#include "scan/staging_copies.h"

#include <thread>

namespace scan_test
{
namespace
{

std::string Ini(const std::string& device, const char* section, const char* key)
{
    std::string value = "(absent)";
    uiext2_test::ReadIni(uiext2_test::DeviceFolder(device) + "\\VT_TWAIN1.ini", section, key, value);
    return value;
}

// Another run's copies in place of the dead run's (the fault: the device's file became that
// other device's, line for line); a dead run's companion still writing while the next run
// hands out its copies (the fault: its later keys went into the next run's device); and the
// copy rewritten in place by the profile functions, which still merges. Each change arrives
// by the next run.
TEST_F(ScanTest, AHandOffMergesOnlyTheCopiesItHandedOver)
{
    if (RunAsDyingHost())
        return;
    const std::string other = deviceName_ + " other";
    const auto replaceCopies = []
    {
        // As another user's run puts its copies in place: a new file renamed over each.
        for (const char* file : {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"})
        {
            ASSERT_TRUE(uiext2_test::WriteFileText(StagingFile("new.tmp"), kOtherDevice));
            ASSERT_TRUE(
                ::MoveFileExA(StagingFile("new.tmp").c_str(), StagingFile(file).c_str(), MOVEFILE_REPLACE_EXISTING));
        }
    };
    const auto rewriteInPlace = []
    { ::WritePrivateProfileStringA("Contents", "Late", "3", StagingFile("VT_TWAIN1.ini").c_str()); };
    const struct
    {
        const char* name;
        const char* script; // of the dead run's companion
        bool otherDevice;   // the dead run was for another device
        std::function<void()> afterDeath;
        const char* nextScript;
        const char* late; // Contents/Late of the dead run's device afterwards; this one's has none
    } rows[] = {
        {"another run's copies", "connect;key:Contents:Late:1;signal:uiext2 test moment;sleep:200", false,
         replaceCopies, "connect;send:1134", "(absent)"},
        {"a dead run's live companion", "connect;signal:uiext2 test moment;sleep:1500;key:Contents:Late:2", true, [] {},
         "connect;sleep:2500;send:1134", "2"},
        {"a copy rewritten in place", "connect;key:Contents:Late:0;signal:uiext2 test moment;sleep:200", false,
         rewriteInPlace, "connect;send:1134", "3"},
    };
    for (const auto& row : rows)
    {
        PrepareFolders(deviceName_);
        uiext2_test::RemoveDeviceFolder(other);
        const std::string& dead = row.otherDevice ? other : deviceName_;
        KillHostAt("AHandOffMergesOnlyTheCopiesItHandedOver", row.script, row.otherDevice ? other : "", [] {});
        if (!row.otherDevice) // the live companion's row goes on at once
            AwaitCompanionGone();
        row.afterDeath();
        // The host's own set-up removed this test's device folder: its file as it was.
        ::CreateDirectoryA(uiext2_test::DeviceFolder(deviceName_).c_str(), nullptr);
        ASSERT_TRUE(
            uiext2_test::WriteFileText(uiext2_test::DeviceFolder(deviceName_) + "\\VT_TWAIN1.ini", kDeviceSettings));
        DialogRecord record(Scanner(), output_);
        EXPECT_EQ(S_OK, RunDialog(row.nextScript, record.data)) << row.name;
        AwaitCompanionGone();
        EXPECT_EQ(row.late, Ini(dead, "Contents", "Late")) << row.name;
        if (row.otherDevice)
        {
            EXPECT_EQ("(absent)", Ini(deviceName_, "Contents", "Late")) << row.name;
        }
        EXPECT_EQ("10.0.0.1", Ini(deviceName_, "Contents", "ScannerAddress")) << row.name;
        EXPECT_EQ("me", Ini(deviceName_, "Authentication", "UserName")) << row.name;
        EXPECT_FALSE(RecordLeft()) << row.name;
        uiext2_test::RemoveDeviceFolder(deviceName_);
        uiext2_test::RemoveDeviceFolder(other);
    }
}

// A copy-back that cannot merge now: the device's file held past the retries, or its lock
// (the fault: the record went, and the next run's copy-out overwrote the change); the pages
// are still returned, and the next run merges the kept copy. A copy cut inside a line is no
// instruction (the fault: every key after the cut went, and the cut value was written).
TEST_F(ScanTest, ACopyBackThatCannotMergeIsFinishedByTheNextRun)
{
    const std::string settings = uiext2_test::DeviceFolder(deviceName_) + "\\VT_TWAIN1.ini";
    const std::string lock = uiext2_test::DeviceFolder(deviceName_) + "\\~settings.lock";
    const struct
    {
        const char* name;
        const char* script;
        std::string held; // opened unshared at the moment, for 4 s; empty: none
        bool kept;        // the record and copy left for the next run
        const char* late; // Contents/Late after the next run
    } rows[] = {
        {"file held past the retries", "key:Contents:Late:held", settings, true, "held"},
        {"lock unavailable", "key:Contents:Late:locked", lock, true, "locked"},
        {"copy cut inside a line", "key:Contents:Late:cut;cut:UserName=m", "", false, "(absent)"},
    };
    for (const auto& row : rows)
    {
        PrepareFolders(deviceName_);
        NamedEvent moment("uiext2 test moment");
        std::thread holder(
            [&]
            {
                if (row.held.empty() || !moment.Wait())
                    return;
                HANDLE held = ::CreateFileA(row.held.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                                            row.held == lock ? FILE_FLAG_DELETE_ON_CLOSE : 0, nullptr);
                ::Sleep(4000);
                ::CloseHandle(held);
            });
        DialogRecord record(Scanner(), output_);
        const std::string script =
            std::string("connect;scan:1;send:2;") + row.script + ";signal:uiext2 test moment;sleep:300;send:1134";
        EXPECT_EQ(S_OK, RunDialog(script, record.data)) << row.name;
        EXPECT_LT(0, record.data.lNumFiles) << row.name << ": the saved pages are returned";
        holder.join();
        AwaitCompanionGone();
        EXPECT_EQ("(absent)", Ini(deviceName_, "Contents", "Late")) << row.name;
        EXPECT_EQ(row.kept, RecordLeft()) << row.name;
        DialogRecord next(Scanner(), output_);
        EXPECT_EQ(S_OK, RunDialog("connect;send:1134", next.data)) << row.name;
        AwaitCompanionGone();
        EXPECT_EQ(row.late, Ini(deviceName_, "Contents", "Late")) << row.name;
        EXPECT_EQ("me", Ini(deviceName_, "Authentication", "UserName")) << row.name;
        EXPECT_EQ("10.0.0.1", Ini(deviceName_, "Contents", "ScannerAddress")) << row.name;
        EXPECT_FALSE(RecordLeft()) << row.name;
        uiext2_test::RemoveDeviceFolder(deviceName_);
    }
}

// What counts as a cut copy against the handed one, and what is an ordinary change.
TEST(CutCopy, IsToldFromAChange)
{
    using namespace std::literals;
    constexpr auto kHanded = "[Contents]\r\nUnit=1\r\nLevel=2\r\n[Authentication]\r\nUserName=me\r\n"sv;
    const struct
    {
        std::string_view edited;
        const char* reason; // null: merged
    } rows[] = {
        {"[Contents]\r\nUnit=1\r\nLevel=2\r\n[Authentication]\r\nUserName=m"sv, "cut inside a line"},
        {"[Contents]\r\nUnit=1\r\nLevel=2\r\n"sv, "section lost"},
        {"[Contents]\r\nUnit=1\r\nLe\0\0\r\n[Authentication]\r\nUserName=me\r\n"sv, "does not parse"},
        {"[Contents]\r\nUnit=1\r\nLevel\r\n[Authentication]\r\nUserName=me\r\n"sv, "does not parse"},
        {" \r\n\r\n"sv, "emptied"},
        {"[Contents]\r\nUnit=1\r\n[Authentication]\r\nUserName=me\r\n"sv, nullptr}, // a key removed
        {"[contents]\r\nUnit=3\r\n[Authentication]\r\n"sv, nullptr},                // letter case; keys gone
    };
    for (const auto& row : rows)
        EXPECT_STREQ(row.reason, uiext2::CutCopyReason(kHanded, row.edited)) << row.edited;
}

} // namespace
} // namespace scan_test
