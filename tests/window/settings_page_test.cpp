// The Settings page of the shipped DLL in a real property sheet: the device's settings file
// read into the controls, the controls driven by the messages a user's typing, dragging and
// clicking produce, and the file as applying or cancelling leaves it.
#include "properties_host.h"
#include "sheet_harness.h"
#include "user_measure.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

using testwindow::WriteIni;

// Stored forms from tests/data/password_vectors.txt (openssl): of "&" and of the empty text.
constexpr char kStoredAmpersand[] = "ygHMgl0FKp4=";
constexpr char kStoredEmpty[] = "QEbCQ5S9H88=";

enum Control
{
    kColorTrackbar = 1051,
    kColorLevel = 1052,
    kCompressionYes = 1063,
    kCompressionNo = 1064,
    kMetric = 1065,
    kInch = 1066,
    kGrayLevel = 1067,
    kGrayTrackbar = 1068,
    kAuth = 1083,
    kUserName = 1084,
    kPassword = 1085,
    kUserNameLabel = 1086,
    kPasswordLabel = 1087,
    kAccount = 1088,
    kAccountId = 1090,
};

class SettingsPage : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host_.ok());
        ASSERT_TRUE(measure_.ok());
    }

    void Store(const char* section, const char* key, const char* value)
    {
        WriteIni(host_.settingsFile(), section, key, value);
    }

    // Opens the sheet afresh: the page reads the file as it stands now.
    void Open()
    {
        sheet_.reset();
        testwindow::PropertiesHost::Offer offer = host_.AddPages();
        ASSERT_EQ(2u, offer.kept.size());
        sheet_ = std::make_unique<testwindow::ModelessSheet>(offer.kept);
        page_ = sheet_->page(0);
        ASSERT_NE(nullptr, page_);
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

    std::string Stored(const char* section, const char* key) const
    {
        std::string value;
        return uiext2_test::ReadIni(host_.settingsFile(), section, key, value) ? value : "(absent)";
    }

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
        const char *compression, *gray, *unit, *measure; // stored; null: absent
        const char* shownColor;
        LRESULT colorPosition;
        const char* shownGray;
        LRESULT grayPosition;
        bool inch;
        const char *appliedColor, *appliedGray;
    };
    const Row rows[] = {
        {nullptr, nullptr, nullptr, "1", "1", 1, "1", 1, true, "1", "1"},
        {"0", "0", nullptr, "0", "1", 1, "3", 3, false, "1", "3"},
        {"7", "4", "1", "0", "7", 5, "4", 4, true, "5", "4"},
        {"5", "12", "0", "1", "5", 5, "12", 5, false, "5", "5"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::string("Compression ") + (row.compression ? row.compression : "absent") + ", gray " +
                     (row.gray ? row.gray : "absent"));
        Store("Contents", "Compression", row.compression);
        Store("Contents", "CompressionGray", row.gray);
        Store("Contents", "Unit", row.unit);
        ASSERT_TRUE(measure_.Set(row.measure));
        Open();
        EXPECT_EQ(row.shownColor, Text(kColorLevel));
        EXPECT_EQ(row.colorPosition, Position(kColorTrackbar));
        EXPECT_EQ(row.shownGray, Text(kGrayLevel));
        EXPECT_EQ(row.grayPosition, Position(kGrayTrackbar));
        EXPECT_EQ(row.inch, Checked(kInch));
        EXPECT_EQ(!row.inch, Checked(kMetric));
        // Compression is always on, and cannot be switched off.
        EXPECT_TRUE(Checked(kCompressionYes) && !Checked(kCompressionNo));
        EXPECT_FALSE(Enabled(kCompressionYes) || Enabled(kCompressionNo));

        sheet_->Apply();
        EXPECT_EQ(row.appliedColor, Stored("Contents", "Compression"));
        EXPECT_EQ(row.appliedGray, Stored("Contents", "CompressionGray"));
    }
}

TEST_F(SettingsPage, EachLevelEditAndItsTrackbarFollowEachOther)
{
    enum Action
    {
        TypeText,
        DragTo,  // the WM_HSCROLL a dragged thumb sends
        KeyDown, // the right arrow pressed on the trackbar...
        KeyUp,   // ...and released
    };
    struct Step
    {
        Action action;
        const char* text;
        WORD position;
        const char* shown;
        LRESULT expectedPosition;
    };
    const Step steps[] = {
        {TypeText, "4", 0, "4", 4},   {TypeText, "0", 0, "0", 4},   {TypeText, "", 0, "", 4},
        {TypeText, "12", 0, "12", 4}, {DragTo, nullptr, 2, "2", 2}, {KeyDown, nullptr, 0, "2", 3},
        {KeyUp, nullptr, 0, "3", 3},
    };
    Store("Contents", "Compression", "1");
    Store("Contents", "CompressionGray", "1");
    Open();
    for (const auto& [edit, trackbar] : {std::pair{kColorLevel, kColorTrackbar}, std::pair{kGrayLevel, kGrayTrackbar}})
    {
        HWND bar = ::GetDlgItem(page_, trackbar);
        for (const Step& step : steps)
        {
            SCOPED_TRACE(testing::Message() << "edit " << edit << ", step " << (&step - steps));
            if (step.action == TypeText)
                Type(edit, step.text);
            else if (step.action == DragTo)
                ::SendMessageA(page_, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, step.position),
                               reinterpret_cast<LPARAM>(bar));
            else
                ::SendMessageA(bar, step.action == KeyDown ? WM_KEYDOWN : WM_KEYUP, VK_RIGHT, 0);
            EXPECT_EQ(step.shown, Text(edit));
            EXPECT_EQ(step.expectedPosition, Position(trackbar));
        }
    }
}

TEST_F(SettingsPage, TicksEnableTheirControls)
{
    struct Row
    {
        int tick;
        const char* key;
        std::vector<int> controls;
    };
    const Row rows[] = {
        {kAuth, "Auth", {kUserNameLabel, kPasswordLabel, kUserName, kPassword}},
        {kAccount, "Account", {kAccountId}},
    };
    for (const Row& row : rows)
    {
        for (const char* stored : {"0", "1"})
        {
            SCOPED_TRACE(std::string(row.key) + "=" + stored);
            Store("Authentication", row.key, stored);
            Open();
            bool ticked = stored[0] == '1';
            for (int click = 0; click < 3; ++click)
            {
                EXPECT_EQ(ticked, Checked(row.tick));
                for (int id : row.controls)
                    EXPECT_EQ(ticked, Enabled(id)) << "control " << id << " after " << click << " clicks";
                Click(row.tick);
                ticked = !ticked;
            }
        }
    }
}

TEST_F(SettingsPage, ApplyWritesEightKeysCancelNone)
{
    struct Row
    {
        bool login, account;
        const char* expected; // the whole file, written from scratch
    };
    const Row rows[] = {
        {true, true,
         "[Contents]\r\nCompression=3\r\nCompressionGray=2\r\nUnit=0\r\n[Authentication]\r\nAuth=1\r\n"
         "UserName=operator\r\nPassword=ygHMgl0FKp4=\r\nAccount=1\r\nID=42\r\n"},
        {false, false,
         "[Contents]\r\nCompression=3\r\nCompressionGray=2\r\nUnit=0\r\n[Authentication]\r\nAuth=0\r\n"
         "UserName=\r\nPassword=QEbCQ5S9H88=\r\nAccount=0\r\nID=\r\n"},
    };
    Store("Authentication", "Auth", "0");
    Store("Authentication", "Account", "0");
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.login ? "login and account ID on" : "both off");
        // What the user enters; a tick taken off again leaves its texts typed but unused.
        auto enter = [&]
        {
            Type(kColorLevel, "3");
            Type(kGrayLevel, "2");
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
        const std::string before = uiext2_test::FileText(host_.settingsFile());
        Open();
        enter();
        PropSheet_PressButton(sheet_->sheet(), PSBTN_CANCEL);
        sheet_.reset();
        EXPECT_EQ(before, uiext2_test::FileText(host_.settingsFile())) << "cancel wrote to the file";

        Open();
        enter();
        ASSERT_TRUE(::DeleteFileA(host_.settingsFile().c_str())); // so that the file shows the order
        sheet_->Apply();
        EXPECT_EQ(row.expected, uiext2_test::FileText(host_.settingsFile()));
        ASSERT_TRUE(uiext2_test::WriteFileText(host_.settingsFile(), before));
    }
}

TEST_F(SettingsPage, ShowsTheLoginAsStored)
{
    struct Row
    {
        const char* stored;
        const char* shown;
    };
    const Row rows[] = {{kStoredAmpersand, "&"}, {kStoredEmpty, ""}, {"not a stored form", "not a stored form"}};
    const std::string longName(70, 'n');
    Store("Authentication", "Auth", "1");
    Store("Authentication", "UserName", longName.c_str());
    Store("Authentication", "Account", "1");
    Store("Authentication", "ID", "12345678901234567890");
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.stored);
        Store("Authentication", "Password", row.stored);
        Open();
        EXPECT_EQ(row.shown, Text(kPassword));
        EXPECT_EQ(longName.substr(0, 64), Text(kUserName));
        EXPECT_EQ("123456789012345", Text(kAccountId));
    }
}

} // namespace
