// The Settings page of the shipped DLL in a real property sheet: the device's settings file
// read into the controls, the controls driven by the messages a user's typing, dragging and
// clicking produce, and the file as applying or cancelling leaves it.
#include "properties_host.h"
#include "holder.h"
#include "sheet_harness.h"
#include "unix_side.h"
#include "user_measure.h"

#include <gtest/gtest.h>

#include <wincrypt.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

// The page's controls: level edits and trackbars, compression yes/no, unit, login, account ID.
constexpr int kColorBar = 1051, kColor = 1052, kYes = 1063, kNo = 1064, kMetric = 1065, kInch = 1066, kGray = 1067,
              kGrayBar = 1068, kAuth = 1083, kUserName = 1084, kPassword = 1085, kAccount = 1088, kAccountId = 1090;

class SettingsPage : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(host_.ok() && measure_.ok()); }

    void Store(const char* section, const char* key, const char* value) // null: delete the key
    {
        ::WritePrivateProfileStringA(section, key, value, host_.settingsFile().c_str());
    }
    std::string Stored(const char* key) const
    {
        std::string value;
        uiext2_test::ReadIni(host_.settingsFile(), "Contents", key, value);
        return value;
    }

    void Open() // a fresh sheet: the page reads the file as it stands now
    {
        sheet_.reset();
        sheet_ = std::make_unique<testwindow::ModelessSheet>(host_.AddPages().kept);
        page_ = sheet_->page(0);
    }

    std::string Text(int id) const
    {
        char text[160] = {};
        ::GetDlgItemTextA(page_, id, text, sizeof(text));
        return text;
    }
    LRESULT Position(int id) const { return ::SendDlgItemMessageA(page_, id, TBM_GETPOS, 0, 0); }
    bool Checked(int id) const { return ::SendDlgItemMessageA(page_, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(page_, id)) != FALSE; }
    void Type(int id, const char* text) const { ::SetDlgItemTextA(page_, id, text); } // one EN_CHANGE
    void Click(int id) const { ::SendDlgItemMessageA(page_, id, BM_CLICK, 0, 0); }

    testwindow::PropertiesHost host_{std::string("uiext2 window ") +
                                     testing::UnitTest::GetInstance()->current_test_info()->name()};
    uiext2_test::ScopedUserMeasure measure_;
    std::unique_ptr<testwindow::ModelessSheet> sheet_;
    HWND page_ = nullptr;
};

TEST_F(SettingsPage, LoadsLevelsAndUnitAndWritesLevelsInRange)
{
    struct Row
    {
        const char *color, *gray, *unit, *measure; // as stored; null: absent
        const char *shownColor, *shownGray;
        LRESULT colorBar, grayBar;
        bool inch;
        const char *appliedColor, *appliedGray;
    };
    const Row rows[] = {
        {nullptr, nullptr, nullptr, "1", "1", "1", 1, 1, true, "1", "1"},
        {"0", "0", nullptr, "0", "1", "3", 1, 3, false, "1", "3"},
        {"7", "4", "1", "0", "7", "4", 5, 4, true, "5", "4"},
        {"5", "12", "0", "1", "5", "12", 5, 5, false, "5", "5"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
        Store("Contents", "Compression", row.color);
        Store("Contents", "CompressionGray", row.gray);
        Store("Contents", "Unit", row.unit);
        ASSERT_TRUE(measure_.Set(row.measure));
        Open();
        EXPECT_EQ(row.shownColor, Text(kColor));
        EXPECT_EQ(row.shownGray, Text(kGray));
        EXPECT_EQ(row.colorBar, Position(kColorBar));
        EXPECT_EQ(row.grayBar, Position(kGrayBar));
        EXPECT_EQ(row.inch, Checked(kInch));
        EXPECT_EQ(!row.inch, Checked(kMetric));
        EXPECT_TRUE(Checked(kYes) && !Checked(kNo) && !Enabled(kYes) && !Enabled(kNo)) << "compression stays on";
        Type(kColor, Text(kColor).c_str()); // the user confirms both levels as shown
        Type(kGray, Text(kGray).c_str());
        sheet_->Apply();
        EXPECT_EQ(row.appliedColor, Stored("Compression"));
        EXPECT_EQ(row.appliedGray, Stored("CompressionGray"));
    }
}

TEST_F(SettingsPage, EachLevelEditAndItsTrackbarFollowEachOther)
{
    enum Action
    {
        TypeText,
        DragTo,  // the WM_HSCROLL a dragged thumb sends
        KeyDown, // the right arrow pressed on the trackbar, then released
        KeyUp,
    };
    struct Step
    {
        Action action;
        const char* text;
        const char* shown;
        LRESULT position;
    };
    const Step steps[] = {{TypeText, "4", "4", 4}, {TypeText, "0", "0", 4},    {TypeText, "12", "12", 4},
                          {DragTo, "2", "2", 2},   {KeyDown, nullptr, "2", 3}, {KeyUp, nullptr, "3", 3}};
    Open();
    for (const auto& [edit, bar] : {std::pair{kColor, kColorBar}, std::pair{kGray, kGrayBar}})
        for (const Step& step : steps)
        {
            SCOPED_TRACE(testing::Message() << "edit " << edit << ", step " << (&step - steps));
            HWND trackbar = ::GetDlgItem(page_, bar);
            if (step.action == TypeText)
                Type(edit, step.text);
            else if (step.action == DragTo)
                ::SendMessageA(page_, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, std::stoi(step.text)),
                               reinterpret_cast<LPARAM>(trackbar));
            else
                ::SendMessageA(trackbar, step.action == KeyDown ? WM_KEYDOWN : WM_KEYUP, VK_RIGHT, 0);
            EXPECT_EQ(step.shown, Text(edit));
            EXPECT_EQ(step.position, Position(bar));
        }
}

TEST_F(SettingsPage, TicksEnableTheirControls)
{
    const std::pair<int, std::vector<int>> ticks[] = {{kAuth, {1086, 1087, kUserName, kPassword}},
                                                      {kAccount, {kAccountId}}};
    for (const char* stored : {"0", "1"})
    {
        Store("Authentication", "Auth", stored);
        Store("Authentication", "Account", stored);
        Open();
        for (const auto& [tick, controls] : ticks)
            for (bool on : {*stored == '1', *stored != '1', *stored == '1'})
            {
                EXPECT_EQ(on, Checked(tick)) << tick << " stored " << stored;
                for (int id : controls)
                    EXPECT_EQ(on, Enabled(id)) << id << " stored " << stored;
                Click(tick);
            }
    }
}

TEST_F(SettingsPage, ApplyWritesEightKeysCancelNone)
{
    struct Row
    {
        bool login, account;
        const char* file; // written from scratch
    };
    const Row rows[] = {
        {true, true,
         "[Contents]\r\nCompression=3\r\nCompressionGray=2\r\nUnit=0\r\n[Authentication]\r\nAuth=1\r\n"
         "UserName=operator\r\nPassword=ygHMgl0FKp4=\r\nAccount=1\r\nID=42\r\n"},
        {false, false,
         "[Contents]\r\nCompression=3\r\nCompressionGray=2\r\nUnit=0\r\n[Authentication]\r\nAuth=0\r\n"
         "UserName=\r\nPassword=QEbCQ5S9H88=\r\nAccount=0\r\nID=\r\n"},
    }; // the stored forms of "&" and "" in tests/data/password_vectors.txt
    Store("Authentication", "Auth", "0");
    Store("Authentication", "Account", "0");
    const std::string before = uiext2_test::FileText(host_.settingsFile());
    for (const Row& row : rows)
    {
        // A tick taken off again leaves its texts typed but unused.
        auto enter = [&]
        {
            Type(kColor, "3");
            Type(kGray, "2");
            Click(kMetric);
            Click(kAuth);
            Type(kUserName, "operator");
            Type(kPassword, "&");
            Click(kAccount);
            Type(kAccountId, "42");
            if (!row.login)
                Click(kAuth);
            if (!row.account)
                Click(kAccount);
        };
        Open();
        enter();
        PropSheet_PressButton(sheet_->sheet(), PSBTN_CANCEL);
        sheet_.reset();
        EXPECT_EQ(before, uiext2_test::FileText(host_.settingsFile())) << "cancel wrote to the file";

        Open();
        enter();
        ASSERT_TRUE(::DeleteFileA(host_.settingsFile().c_str())); // so that the file shows the order
        sheet_->Apply();
        EXPECT_EQ(row.file, uiext2_test::FileText(host_.settingsFile()));
        ASSERT_TRUE(uiext2_test::WriteFileText(host_.settingsFile(), before));
    }
}

TEST_F(SettingsPage, UserChangesLightUpApplyFillingDoesNot)
{
    // Every edit holds stored text, so that filling the page sets each of them.
    for (const auto& [key, value] : {std::pair{"Auth", "1"}, {"UserName", "operator"}, {"Account", "1"}, {"ID", "42"}})
        Store("Authentication", key, value);
    const auto scroll = [this](int bar, WPARAM code) // the WM_HSCROLL a trackbar sends its page
    { ::SendMessageA(page_, WM_HSCROLL, code, reinterpret_cast<LPARAM>(::GetDlgItem(page_, bar))); };
    const std::function<void()> changes[] = {
        [&] { Type(kColor, "4"); },
        [&] { Type(kGray, "2"); },
        [&] { Type(kUserName, "x"); },
        [&] { Type(kPassword, "&"); },
        [&] { Type(kAccountId, "7"); },
        [&] { scroll(kColorBar, TB_LINEDOWN); },
        [&] { scroll(kGrayBar, TB_LINEUP); },
        [&] { Click(kMetric); },
        [&] { Click(kInch); },
        [&] { Click(kAuth); },
        [&] { Click(kAccount); },
    };
    for (const auto& change : changes)
    {
        SCOPED_TRACE(testing::Message() << "change " << (&change - changes));
        // The page behind another, as behind the shell's own first page: it is filled after
        // the sheet has set up its buttons.
        std::vector<HPROPSHEETPAGE> pages = host_.AddPages().kept;
        std::reverse(pages.begin(), pages.end());
        sheet_ = std::make_unique<testwindow::ModelessSheet>(pages);
        page_ = sheet_->page(1);
        EXPECT_FALSE(sheet_->ApplyEnabled()) << "filling the page is no change";
        change();
        EXPECT_TRUE(sheet_->ApplyEnabled());
    }
}

TEST_F(SettingsPage, ShowsTheLoginAsStored)
{
    const std::string longName(70, 'n');
    Store("Authentication", "Auth", "1");
    Store("Authentication", "UserName", longName.c_str());
    Store("Authentication", "Account", "1");
    Store("Authentication", "ID", "12345678901234567890");
    // Stored forms of "&" and "", and a stored text that does not decrypt: shown as it stands.
    using Shown = std::pair<const char*, const char*>;
    for (const auto& [stored, shown] : {Shown{"ygHMgl0FKp4=", "&"}, Shown{"QEbCQ5S9H88=", ""}, Shown{"no", "no"}})
    {
        Store("Authentication", "Password", stored);
        Open();
        EXPECT_EQ(shown, Text(kPassword)) << stored;
        EXPECT_EQ(longName.substr(0, 64), Text(kUserName));
        EXPECT_EQ("123456789012345", Text(kAccountId));
    }
}

// An Apply that cannot put the new file in place says so: the page stays (the sheet is told
// PSNRET_INVALID_NOCHANGEPAGE), a message box owned by the sheet names the reason, and the
// file keeps every key. Here a reader holds the file without sharing past the retries (links,
// second names and holders that let go are the store's table, in own_folder_test). The
// device's lock belongs to those who may change its files: an object of another kind under
// the name a global lock had stops no Apply (the fault: any user could make every Apply
// fail), and a lock held past the retries is told as such, not as a program holding the file.
TEST_F(SettingsPage, ApplyThatCannotSaveKeepsThePageAndSaysWhy)
{
    const std::string settings = host_.settingsFile();
    const std::string utf8 = "\\357\\273\\277", keys = "\\r\\nCompression=1\\r\\nScannerAddress=10.0.0.7\\r\\n",
                      onC = uiext2_test::OnC(settings);
    const std::string lock = settings.substr(0, settings.rfind('\\')) + "\\~settings.lock";
    const std::string deviceName = settings.substr(0, settings.rfind('\\')).substr(settings.rfind("\\WIA\\") + 5);
    const struct
    {
        const char* name;
        std::string plant, undo;
        DWORD holdMs;              // a reader holds the file this long after Apply begins; 0: none
        const wchar_t* reason;     // in the message; null: saved, no message
        std::string held = "";     // the file held; empty: the settings file
        bool squatOldName = false; // an event under the name the global lock had
    } rows[] = {
        {"an event under the old lock's name", ":", ":", 0, nullptr, "", true},
        {"the lock held past the retries", ":", ":", 2600, L"being saved by another window or user", lock},
        {"reader holding on", ":", ":", 2600, L"in use by another program"},
        // Windows reads a UTF-8 mark as ANSI: its first line holds no section there.
        {"UTF-8 mark, the section on its line", "printf '" + utf8 + "[Contents]" + keys + "' >" + onC, ":", 0,
         L"other programs may read differently"},
        {"UTF-8 mark, a comment first", "printf '" + utf8 + ";\\r\\n[Contents]" + keys + "' >" + onC, ":", 0, nullptr},
    };
    for (const auto& row : rows)
    {
        Store("Contents", "Compression", "1");
        Store("Contents", "ScannerAddress", "10.0.0.7");
        Open();
        Type(kColor, "4");
        ASSERT_TRUE(uiext2_test::UnixShell(row.plant)) << row.name;
        const std::string before = uiext2_test::FileText(settings);
        const bool isLock = !row.held.empty();
        HANDLE reader = row.holdMs ? ::CreateFileA(isLock ? row.held.c_str() : settings.c_str(),
                                                   GENERIC_READ | (isLock ? DELETE : 0), isLock ? 0 : FILE_SHARE_READ,
                                                   nullptr, isLock ? CREATE_NEW : OPEN_EXISTING,
                                                   isLock ? FILE_FLAG_DELETE_ON_CLOSE : 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
        HANDLE squatter = row.squatOldName ? ::CreateEventA(nullptr, TRUE, FALSE,
                                                            ("Global\\VELMORA_WIA_SETTINGS " + deviceName).c_str())
                                           : nullptr;
        uiext2_test::LetsGoAfter letGo(reader, row.holdMs);
        testwindow::MessageBoxCatcher boxes;
        const bool applied = sheet_->Apply();
        letGo.Join();
        if (squatter)
            ::CloseHandle(squatter);
        ASSERT_TRUE(uiext2_test::UnixShell(row.undo)) << row.name;
        if (!row.reason)
        {
            EXPECT_TRUE(applied) << row.name;
            EXPECT_TRUE(boxes.texts().empty()) << row.name;
            EXPECT_EQ("4", Stored("Compression")) << row.name;
            EXPECT_EQ("10.0.0.7", Stored("ScannerAddress")) << row.name;
            EXPECT_EQ(row.plant.find(utf8) != std::string::npos,
                      uiext2_test::FileText(settings).rfind("\xEF\xBB\xBF", 0) == 0)
                << row.name << ": the file keeps its mark";
            continue;
        }
        EXPECT_FALSE(applied) << row.name; // the sheet was told PSNRET_INVALID_NOCHANGEPAGE
        EXPECT_TRUE(::IsWindow(page_)) << row.name;
        ASSERT_EQ(1u, boxes.texts().size()) << row.name;
        EXPECT_EQ(sheet_->sheet(), boxes.owners()[0]) << row.name;
        EXPECT_NE(std::wstring::npos, boxes.texts()[0].find(L"The settings could not be saved.")) << row.name;
        EXPECT_NE(std::wstring::npos, boxes.texts()[0].find(row.reason)) << row.name;
        EXPECT_EQ(before, uiext2_test::FileText(settings)) << row.name;
    }
}

// OK on a page the user did not touch writes nothing, whatever changed in the file meanwhile
// (the companion's keys stay, and a file that cannot be replaced is no error); a change writes
// its own key and the keys the file lacks, and leaves every other key as the file has it.
TEST_F(SettingsPage, ApplyWritesWhatTheUserChanged)
{
    const struct
    {
        const char* name;
        std::function<void()> change;
        const char* compression; // afterwards
        const char* account;     // Authentication/Account afterwards ("(absent)": not written)
    } rows[] = {
        {"untouched", [] {}, "4", "(absent)"},
        {"the colour level", [this] { Type(kColor, "2"); }, "2", "0"},
        {"the unit", [this] { Click(kInch); }, "4", "0"},
    };
    for (const auto& row : rows)
    {
        ASSERT_TRUE(uiext2_test::WriteFileText(host_.settingsFile(),
                                               "[Contents]\r\nCompression=1\r\nCompressionGray=1\r\nUnit=0\r\n"
                                               "[Authentication]\r\nAuth=0\r\nUserName=\r\nPassword=x\r\nID=\r\n"));
        Open();
        row.change();
        // What the companion writes while the sheet is open.
        Store("Contents", "Compression", "4");
        Store("Contents", "CompressionGray", "3");
        const std::string before = uiext2_test::FileText(host_.settingsFile());
        EXPECT_TRUE(sheet_->Apply()) << row.name;
        std::string account = "(absent)";
        uiext2_test::ReadIni(host_.settingsFile(), "Authentication", "Account", account);
        EXPECT_EQ(row.compression, Stored("Compression")) << row.name;
        EXPECT_EQ("3", Stored("CompressionGray")) << row.name;
        EXPECT_EQ(row.account, account) << row.name;
        if (std::string(row.name) == "untouched")
            EXPECT_EQ(before, uiext2_test::FileText(host_.settingsFile())) << "an untouched page wrote";
        else
            EXPECT_EQ(std::string(row.name) == "the unit" ? "1" : "0", Stored("Unit")) << row.name;
    }
}

// This process without a cryptographic provider: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER
// seen through empty keys of the process's own, where the provider tables are not. Put back
// when destroyed. RegOverridePredefKey acts on this process alone, on Windows as here.
class ScopedNoCryptoProvider
{
public:
    ScopedNoCryptoProvider()
    {
        for (int i = 0; i < 2; ++i)
        {
            const std::string name = std::string(kEmpty) + (i ? "\\user" : "\\machine");
            if (::RegCreateKeyExA(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &empty_[i],
                                  nullptr) != ERROR_SUCCESS)
                return;
        }
        ok_ = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, empty_[0]) == ERROR_SUCCESS &&
              ::RegOverridePredefKey(HKEY_CURRENT_USER, empty_[1]) == ERROR_SUCCESS;
    }
    ~ScopedNoCryptoProvider()
    {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        for (HKEY key : empty_)
            if (key)
                ::RegCloseKey(key);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kEmpty);
    }
    ScopedNoCryptoProvider(const ScopedNoCryptoProvider&) = delete;
    ScopedNoCryptoProvider& operator=(const ScopedNoCryptoProvider&) = delete;

    bool ok() const { return ok_; }

private:
    static constexpr char kEmpty[] = "Software\\uiext2 test\\no provider";
    HKEY empty_[2] = {};
    bool ok_ = false;
};

// Where no stored form can be made, the typed password is not written in clear into a file
// every local user can read: the stored one stays, and the other keys are still written.
TEST_F(SettingsPage, APasswordTheCipherCannotStoreIsNeverWritten)
{
    Store("Authentication", "Auth", "1");
    Store("Authentication", "Password", "ygHMgl0FKp4="); // the stored form of "&"
    Open();
    Type(kColor, "4");
    Type(kUserName, "operator");
    Type(kPassword, "clear secret");
    {
        ScopedNoCryptoProvider noProvider;
        ASSERT_TRUE(noProvider.ok());
        HCRYPTPROV provider = 0;
        ASSERT_FALSE(::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
                     ::CryptAcquireContextA(&provider, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            << "a provider is still there: the cipher would not fail";
        sheet_->Apply();
    }
    EXPECT_EQ(std::string::npos, uiext2_test::FileText(host_.settingsFile()).find("clear secret"));
    std::string password, userName;
    EXPECT_TRUE(uiext2_test::ReadIni(host_.settingsFile(), "Authentication", "Password", password));
    EXPECT_EQ("ygHMgl0FKp4=", password);
    EXPECT_TRUE(uiext2_test::ReadIni(host_.settingsFile(), "Authentication", "UserName", userName));
    EXPECT_EQ("operator", userName);
    EXPECT_EQ("4", Stored("Compression"));

    sheet_->Apply(); // the provider back: the typed password is stored, in its stored form
    uiext2_test::ReadIni(host_.settingsFile(), "Authentication", "Password", password);
    EXPECT_NE("ygHMgl0FKp4=", password);
    EXPECT_EQ(std::string::npos, uiext2_test::FileText(host_.settingsFile()).find("clear secret"));
}

} // namespace
