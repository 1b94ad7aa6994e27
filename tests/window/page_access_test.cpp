// The pages as a keyboard user and a screen reader meet them, in the language of the system
// locale CTest sets (English unless it says otherwise): Tab and the arrow keys, mnemonics
// beside the sheet's own buttons, the names a screen reader gives the inputs, and the
// activation context each page is made in.
#include "dll_host.h"
#include "properties_host.h"
#include "sheet_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{

std::wstring Text(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

LONG Style(HWND window)
{
    return ::GetWindowLongW(window, GWL_STYLE);
}

bool IsGroupBox(HWND window)
{
    return ::_wcsicmp(ClassOf(window).c_str(), L"Button") == 0 && (Style(window) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool IsStaticText(HWND window)
{
    const LONG type = Style(window) & SS_TYPEMASK;
    return ::_wcsicmp(ClassOf(window).c_str(), L"Static") == 0 && type != SS_ICON && type != SS_BITMAP;
}

bool IsRadioButton(HWND window)
{
    const LONG type = Style(window) & BS_TYPEMASK;
    return ::_wcsicmp(ClassOf(window).c_str(), L"Button") == 0 &&
           (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

// What a user can type into, drag or press: edits, trackbars, buttons that are not frames.
bool IsInput(HWND window)
{
    const std::wstring name = ClassOf(window);
    return ::_wcsicmp(name.c_str(), L"Edit") == 0 || ::_wcsicmp(name.c_str(), TRACKBAR_CLASSW) == 0 ||
           (::_wcsicmp(name.c_str(), L"Button") == 0 && !IsGroupBox(window));
}

// The letter after a single "&", upper-cased; 0 for none ("&&" writes one "&").
wchar_t Mnemonic(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&')
        {
            if (text[i + 1] != L'&')
                return static_cast<wchar_t>(std::towupper(text[i + 1]));
            ++i;
        }
    return 0;
}

std::wstring WithoutMnemonic(const std::wstring& text)
{
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != L'&' || (i + 1 < text.size() && text[i + 1] == L'&' && ++i))
            plain += text[i];
    // "(&U)" and the like, as CJK captions write their mnemonic, leave "()" behind.
    for (size_t at; (at = plain.find(L"()")) != std::wstring::npos;)
        plain.erase(at, 2);
    return plain;
}

// The name Microsoft Active Accessibility gives an edit or trackbar: the text of the first
// static text or group box before it in z-order, visible or not; none when a control with
// WS_GROUP | WS_TABSTOP comes first.
std::wstring AccessibleName(HWND input)
{
    for (HWND before = ::GetWindow(input, GW_HWNDPREV); before; before = ::GetWindow(before, GW_HWNDPREV))
    {
        if (IsStaticText(before) || IsGroupBox(before))
            return WithoutMnemonic(Text(before));
        if ((Style(before) & (WS_GROUP | WS_TABSTOP)) == (WS_GROUP | WS_TABSTOP))
            return L"";
    }
    return L"";
}

struct Language
{
    const char* suffix;
    wchar_t windowsApply; // the mnemonic of the sheet's Apply button in that language's Windows
};
const Language kLanguages[] = {{"enu", L'A'}, {"chs", L'A'}, {"cht", L'A'}, {"fra", L'A'},
                               {"deu", L'B'}, {"ita", L'A'}, {"esp", L'A'}, {"jpn", L'A'}};

const Language& CurrentLanguage()
{
    const char* wanted = std::getenv("UIEXT2_PAGE_LANGUAGE");
    const std::string suffix = wanted ? wanted : "enu";
    const Language* row = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                       [&](const Language& language) { return suffix == language.suffix; });
    return row != std::end(kLanguages) ? *row : kLanguages[0];
}

constexpr int kSettings = 0, kAbout = 1, kLogo = 2003;
constexpr int kSheetButtons[] = {IDOK, IDCANCEL, 0x3021 /* Apply */, IDHELP};

class PageAccess : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host_.ok());
        // The first settings file shows both login and account controls enabled.
        ::WritePrivateProfileStringA("Authentication", "Auth", "1", host_.settingsFile().c_str());
        ::WritePrivateProfileStringA("Authentication", "Account", "1", host_.settingsFile().c_str());
        sheet_ = std::make_unique<testwindow::ModelessSheet>(host_.AddPages().kept);
        ASSERT_NE(nullptr, sheet_->page(kAbout));
        page_ = sheet_->page(kSettings);
        ASSERT_NE(nullptr, page_);
    }

    std::vector<HWND> Controls(HWND page) const
    {
        std::vector<HWND> controls;
        for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            controls.push_back(child);
        return controls;
    }

    testwindow::PropertiesHost host_{"uiext2 window access", L"2.10.005"};
    std::unique_ptr<testwindow::ModelessSheet> sheet_;
    HWND page_ = nullptr;
};

// Tab, from the sheet's tab control round the whole sheet, passes every enabled input of the
// Settings page, the checked unit button among them. (Whether it also stops at the unchecked
// one is the button control's business.)
TEST_F(PageAccess, TabReachesEveryEnabledInput)
{
    SCOPED_TRACE(CurrentLanguage().suffix);
    for (const bool inch : {true, false})
    {
        ::SendDlgItemMessageA(page_, inch ? 1066 : 1065, BM_CLICK, 0, 0);
        std::set<HWND> reached;
        HWND start = PropSheet_GetTabControl(sheet_->sheet());
        HWND at = start;
        for (int step = 0; step < 100; ++step)
        {
            at = ::GetNextDlgTabItem(sheet_->sheet(), at, FALSE);
            if (!at || at == start)
                break;
            reached.insert(at);
        }
        EXPECT_EQ(start, at) << "Tab comes back round";
        for (HWND control : Controls(page_))
            if (IsInput(control) && ::IsWindowEnabled(control) && ::IsWindowVisible(control) &&
                (!IsRadioButton(control) || ::SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED))
            {
                EXPECT_EQ(1u, reached.count(control)) << "control " << ::GetDlgCtrlID(control);
            }
    }
}

// From each button of a radio group the arrow keys (GetNextDlgGroupItem, both ways) come back
// to it through the group's buttons alone. The yes/no pair is disabled on the page, and is
// enabled here to be walked.
TEST_F(PageAccess, ArrowKeysStayInsideEachRadioGroup)
{
    SCOPED_TRACE(CurrentLanguage().suffix);
    const std::set<int> groups[] = {{1063, 1064}, {1065, 1066}};
    for (const std::set<int>& group : groups)
    {
        for (int id : group)
            ::EnableWindow(::GetDlgItem(page_, id), TRUE);
        for (int id : group)
            for (const BOOL previous : {FALSE, TRUE})
            {
                std::set<int> walked;
                HWND at = ::GetDlgItem(page_, id);
                for (int step = 0; step < 40 && walked.insert(::GetDlgCtrlID(at)).second; ++step)
                    at = ::GetNextDlgGroupItem(page_, at, previous);
                EXPECT_EQ(group, walked) << "from " << id << (previous ? " backwards" : " forwards");
            }
    }
}

// Alt and a letter leads to one control: no two controls of a page share a mnemonic, and none
// takes the letter of one of the sheet's buttons, as this comctl32 labels them or as Windows
// labels Apply in this language.
TEST_F(PageAccess, MnemonicsAreUniqueBesideTheSheetButtons)
{
    const Language& language = CurrentLanguage();
    SCOPED_TRACE(language.suffix);
    std::map<wchar_t, std::wstring> taken{{language.windowsApply, L"Apply of Windows"}};
    for (int id : kSheetButtons)
        if (HWND button = ::GetDlgItem(sheet_->sheet(), id); button && ::IsWindowVisible(button))
            if (const wchar_t letter = Mnemonic(Text(button)))
                taken[letter] = Text(button);
    for (int index : {kSettings, kAbout})
    {
        std::map<wchar_t, std::wstring> onPage = taken;
        for (HWND control : Controls(sheet_->page(index)))
            if (const wchar_t letter = Mnemonic(Text(control)))
            {
                const auto [at, added] = onPage.emplace(letter, Text(control));
                EXPECT_TRUE(added) << "Alt+" << char(letter) << " of control " << ::GetDlgCtrlID(control)
                                   << " is taken by " << testing::PrintToString(at->second);
            }
    }
}

// Each edit and trackbar has a name of its own, the About page's version line is text, and
// the labels that only screen readers read stay out of sight.
TEST_F(PageAccess, ScreenReadersFindANameForEachInputAndTheVersionLine)
{
    SCOPED_TRACE(CurrentLanguage().suffix);
    std::map<std::wstring, int> names;
    for (HWND control : Controls(page_))
    {
        const std::wstring name = ClassOf(control);
        if (::_wcsicmp(name.c_str(), L"Edit") != 0 && ::_wcsicmp(name.c_str(), TRACKBAR_CLASSW) != 0)
            continue;
        const std::wstring accessible = AccessibleName(control);
        const int id = ::GetDlgCtrlID(control);
        EXPECT_FALSE(accessible.empty()) << "control " << id << " has no name";
        const auto [at, added] = names.emplace(accessible, id);
        EXPECT_TRUE(added) << "controls " << at->second << " and " << id << " are both called "
                           << testing::PrintToString(accessible);
        HWND label = ::GetWindow(control, GW_HWNDPREV);
        if (IsStaticText(label) && !::IsWindowVisible(label))
        {
            EXPECT_EQ(0, Mnemonic(Text(label))) << "a hidden label takes no key";
        }
    }
    EXPECT_EQ(7u, names.size()) << "four level controls, user name, password, account ID";
    HWND logo = ::GetDlgItem(sheet_->page(kAbout), kLogo);
    EXPECT_EQ(L"Version 2.10.005", Text(logo));
    EXPECT_TRUE(::IsWindowVisible(logo) && IsStaticText(logo)) << "read as the static text it is";
}

} // namespace
