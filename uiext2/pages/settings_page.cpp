// The Settings page's dialog procedure: the device's settings file into the controls when
// the page opens, the controls kept in step while the user works, and the file written back
// when the sheet is applied, or the user told why it could not be. The page keeps no state of
// its own: it lives in the controls.
#include "pages/settings_page.h"

#include "com/activation_context.h"
#include "com/module.h"
#include "com/trace_events.h"
#include "crypto/password_cipher.h"
#include "device/bound_device.h"
#include "pages/language.h"
#include "pages/page_registration.h"
#include "pages/page_strings.h"
#include "pages/system_look.h"
#include "res/resource.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <new>

namespace uiext2
{

namespace
{

constexpr char kContents[] = "Contents";
constexpr char kAuthentication[] = "Authentication";

constexpr UINT kLowestLevel = 1;
constexpr UINT kHighestLevel = 5;

// Text sizes, terminator included: what the file may hold for each key.
constexpr int kUserNameSize = 65;
constexpr int kAccountIdSize = 16;

// How long Apply keeps trying while another program holds the settings file, and how long it
// waits between tries: a reader such as the companion program lets go within moments.
constexpr ULONGLONG kInUseRetryMs = 2000;
constexpr DWORD kInUsePauseMs = 50;

// True while WM_INITDIALOG fills the controls: the EN_CHANGE that setting an edit's text
// sends then is the page's own doing, not a change by the user. A sheet's pages all run on
// its one thread.
thread_local bool t_filling = false;

// Lights up the sheet's Apply button, as every property page does once the user changes
// something on it.
void Changed(HWND dialog) noexcept
{
    if (!t_filling)
        PropSheet_Changed(::GetParent(dialog), dialog);
}

// The settings file of the page's own object: two scanners' sheets may be open at once.
const char* SettingsFile(HWND dialog) noexcept
{
    const BoundDevice* device = PageDevice(dialog);
    return device ? device->files.settingsFile : "";
}

UINT ReadNumber(HWND dialog, const char* section, const char* key, int fallback) noexcept
{
    return ::GetPrivateProfileIntA(section, key, fallback, SettingsFile(dialog));
}

void ReadText(HWND dialog, const char* key, char* text, DWORD size) noexcept
{
    ::GetPrivateProfileStringA(kAuthentication, key, "", text, size, SettingsFile(dialog));
}

void Write(const char* file, const char* section, const char* key, const char* text) noexcept
{
    trace::KeyWritten(::WritePrivateProfileStringA(section, key, text, file));
}

// The scratch area the password cipher wipes and releases; null when memory is short, and
// the cipher then leaves the field as it is.
std::unique_ptr<char[]> PasswordScratch() noexcept
{
    return std::unique_ptr<char[]>(new (std::nothrow) char[PasswordFieldSize]);
}

bool IsChecked(HWND dialog, int id) noexcept
{
    return ::SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) noexcept
{
    ::SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Enable(HWND dialog, std::initializer_list<int> ids, bool enabled) noexcept
{
    for (int id : ids)
        ::EnableWindow(::GetDlgItem(dialog, id), enabled);
}

void LimitText(HWND dialog, int id, WPARAM characters) noexcept
{
    ::SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, characters, 0);
}

void SetTrackbar(HWND dialog, int id, UINT level) noexcept
{
    ::SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, static_cast<LPARAM>(level));
}

// The login controls follow the authentication tick, the ID edit the account tick.
void EnableLogin(HWND dialog, bool enabled) noexcept
{
    Enable(dialog, {IDC_USER_NAME_LABEL, IDC_PASSWORD_LABEL, IDC_USER_NAME, IDC_PASSWORD}, enabled);
}

// One level pair: the edit shows the stored value as it stands (a 7 stays 7) while the
// trackbar stops at the end of its range. A stored 0 is shown as `zeroShownAs`.
void LoadLevel(HWND dialog, int edit, int trackbar, const char* key, UINT zeroShownAs) noexcept
{
    ::SendDlgItemMessageA(dialog, trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(kLowestLevel, kHighestLevel));
    UINT level = ReadNumber(dialog, kContents, key, 1);
    if (level == 0)
        level = zeroShownAs;
    SetTrackbar(dialog, trackbar, level);
    ::SetDlgItemInt(dialog, edit, level, FALSE);
}

void Load(HWND dialog) noexcept
{
    struct FillingScope
    {
        FillingScope() noexcept { t_filling = true; }
        ~FillingScope() { t_filling = false; }
        FillingScope(const FillingScope&) = delete;
        FillingScope& operator=(const FillingScope&) = delete;
    } filling;
    LimitText(dialog, IDC_COLOR_LEVEL, 1);
    LimitText(dialog, IDC_GRAY_LEVEL, 2);

    // Compression is always on: the page offers no way to switch it off.
    Enable(dialog, {IDC_COMPRESSION_YES, IDC_COMPRESSION_NO}, false);
    SetChecked(dialog, IDC_COMPRESSION_YES, true);
    SetChecked(dialog, IDC_COMPRESSION_NO, false);
    LoadLevel(dialog, IDC_COLOR_LEVEL, IDC_COLOR_TRACKBAR, "Compression", 1);
    LoadLevel(dialog, IDC_GRAY_LEVEL, IDC_GRAY_TRACKBAR, "CompressionGray", 3);

    const bool inch = ReadNumber(dialog, kContents, "Unit", DefaultUnit()) != 0;
    SetChecked(dialog, IDC_UNIT_INCH, inch);
    SetChecked(dialog, IDC_UNIT_METRIC, !inch);

    LimitText(dialog, IDC_USER_NAME, 64);
    LimitText(dialog, IDC_PASSWORD, 64);
    const bool login = ReadNumber(dialog, kAuthentication, "Auth", 0) != 0;
    EnableLogin(dialog, login);
    SetChecked(dialog, IDC_AUTH, login);
    if (login)
    {
        char userName[kUserNameSize] = {};
        char password[PasswordFieldSize] = {};
        ReadText(dialog, "UserName", userName, sizeof(userName));
        ReadText(dialog, "Password", password, sizeof(password));
        // A stored form that does not decrypt stays as it stands, and is shown so.
        TransformPasswordField(0, password, PasswordScratch());
        ::SetDlgItemTextA(dialog, IDC_USER_NAME, userName);
        ::SetDlgItemTextA(dialog, IDC_PASSWORD, password);
        ::SecureZeroMemory(password, sizeof(password));
    }

    LimitText(dialog, IDC_ACCOUNT_ID, 8);
    const bool account = ReadNumber(dialog, kAuthentication, "Account", 0) != 0;
    Enable(dialog, {IDC_ACCOUNT_ID}, account);
    if (account)
    {
        SetChecked(dialog, IDC_ACCOUNT, true);
        char id[kAccountIdSize] = {};
        ReadText(dialog, "ID", id, sizeof(id));
        ::SetDlgItemTextA(dialog, IDC_ACCOUNT_ID, id);
    }
}

// A level typed into an edit moves its trackbar when it is one the trackbar can show.
void FollowEdit(HWND dialog, int edit, int trackbar) noexcept
{
    const UINT level = ::GetDlgItemInt(dialog, edit, nullptr, FALSE);
    if (level >= kLowestLevel && level <= kHighestLevel)
        SetTrackbar(dialog, trackbar, level);
}

// The edit follows its trackbar while the thumb is dragged, and catches up with it at the
// TB_ENDTRACK that ends every other interaction (keys, clicks on the channel).
void FollowTrackbar(HWND dialog, HWND from, WPARAM wParam, int trackbar, int edit) noexcept
{
    if (from != ::GetDlgItem(dialog, trackbar))
        return;
    Changed(dialog);
    if (LOWORD(wParam) == TB_THUMBTRACK)
        ::SetDlgItemInt(dialog, edit, HIWORD(wParam), FALSE);
    else if (LOWORD(wParam) == TB_ENDTRACK)
        ::SetDlgItemInt(dialog, edit, static_cast<UINT>(::SendDlgItemMessageA(dialog, trackbar, TBM_GETPOS, 0, 0)),
                        FALSE);
}

// Typing into any edit and clicking any button are changes; only the level edits, the unit
// buttons and the two ticks also move other controls.
void Command(HWND dialog, WORD control, WORD notification) noexcept
{
    if (notification == EN_CHANGE)
    {
        if (control == IDC_COLOR_LEVEL)
            FollowEdit(dialog, IDC_COLOR_LEVEL, IDC_COLOR_TRACKBAR);
        else if (control == IDC_GRAY_LEVEL)
            FollowEdit(dialog, IDC_GRAY_LEVEL, IDC_GRAY_TRACKBAR);
        Changed(dialog);
        return;
    }
    if (notification != BN_CLICKED)
        return;
    Changed(dialog);

    // The radio buttons are not automatic: the page moves their checks.
    if (control == IDC_UNIT_INCH || control == IDC_UNIT_METRIC)
    {
        SetChecked(dialog, IDC_UNIT_INCH, control == IDC_UNIT_INCH);
        SetChecked(dialog, IDC_UNIT_METRIC, control == IDC_UNIT_METRIC);
    }
    else if (control == IDC_AUTH)
        EnableLogin(dialog, IsChecked(dialog, IDC_AUTH));
    else if (control == IDC_ACCOUNT)
        Enable(dialog, {IDC_ACCOUNT_ID}, IsChecked(dialog, IDC_ACCOUNT));
}

// 0 (also empty or not a number) is written as the lowest level, anything above the range as
// the highest.
void SaveLevel(HWND dialog, const char* file, int edit, const char* key) noexcept
{
    UINT level = ::GetDlgItemInt(dialog, edit, nullptr, FALSE);
    if (level < kLowestLevel)
        level = kLowestLevel;
    if (level > kHighestLevel)
        level = kHighestLevel;
    char text[4] = {};
    std::snprintf(text, sizeof(text), "%u", level);
    Write(file, kContents, key, text);
}

// All eight keys, every time, changed or not, in this order, into a copy of the file that
// then takes its place. ERROR_SUCCESS once the new file is in place; where the device's
// folder is not plainly ours, or its file cannot be read as ours, nothing is written.
DWORD SaveOnce(HWND dialog, const BoundDevice& device) noexcept
{
    trace::KeysBegin();
    SettingsFileEdit edit(device.files);
    const char* file = edit.path();
    if (!file)
        return edit.error();
    SaveLevel(dialog, file, IDC_COLOR_LEVEL, "Compression");
    SaveLevel(dialog, file, IDC_GRAY_LEVEL, "CompressionGray");
    Write(file, kContents, "Unit", IsChecked(dialog, IDC_UNIT_INCH) ? "1" : "0");

    const bool login = IsChecked(dialog, IDC_AUTH);
    Write(file, kAuthentication, "Auth", login ? "1" : "0");
    char userName[kUserNameSize] = {};
    char password[PasswordFieldSize] = {};
    if (login)
    {
        ::GetDlgItemTextA(dialog, IDC_USER_NAME, userName, sizeof(userName));
        ::GetDlgItemTextA(dialog, IDC_PASSWORD, password, sizeof(password));
    }
    Write(file, kAuthentication, "UserName", userName);
    // The empty password too: its stored form is not empty. A password the cipher could not
    // turn into its stored form is never written in clear into a file every local user can
    // read: the stored one stays as it was.
    if (TransformPasswordField(1, password, PasswordScratch()))
        Write(file, kAuthentication, "Password", password);
    ::SecureZeroMemory(password, sizeof(password));

    const bool account = IsChecked(dialog, IDC_ACCOUNT);
    Write(file, kAuthentication, "Account", account ? "1" : "0");
    char id[kAccountIdSize] = {};
    if (account)
        ::GetDlgItemTextA(dialog, IDC_ACCOUNT_ID, id, sizeof(id));
    Write(file, kAuthentication, "ID", id);
    return edit.Commit();
}

// A refusal that passes: another program holding the file without sharing its deletion, or
// a file put in place by someone else between our read and our rename.
bool Transient(DWORD error) noexcept
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ALREADY_EXISTS;
}

DWORD Save(HWND dialog) noexcept
{
    const BoundDevice* device = PageDevice(dialog);
    if (!device)
        return kErrorFolderNotOurs;
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        const DWORD error = SaveOnce(dialog, *device);
        if (!Transient(error) || ::GetTickCount64() - start >= kInUseRetryMs)
            return error;
        ::Sleep(kInUsePauseMs);
    }
}

UINT ReasonOf(DWORD error) noexcept
{
    switch (error)
    {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ALREADY_EXISTS:
        return IDS_SAVE_IN_USE;
    case kErrorNotOurs:
    case ERROR_FILE_TOO_LARGE:
    case ERROR_HANDLE_EOF:
        return IDS_SAVE_NOT_OURS;
    case kErrorFolderNotOurs:
        return IDS_SAVE_FOLDER;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return IDS_SAVE_DENIED;
    default:
        return IDS_SAVE_OTHER;
    }
}

// A message box owned by the sheet, in the page's language, as a Windows property sheet
// tells of an Apply that failed; the page then stays open with the user's values.
void TellNotSaved(HWND dialog, DWORD error) noexcept
{
    const WORD language = LanguageTable(LanguageCode()).resourceLanguage; // as the template was chosen
    wchar_t heading[160];
    wchar_t reason[400];
    wchar_t text[600];
    wchar_t caption[160] = {};
    if (!LoadLanguageString(ModuleInstance(), IDS_SAVE_FAILED, language, heading, 160) ||
        !LoadLanguageString(ModuleInstance(), ReasonOf(error), language, reason, 400))
        return;
    const UINT id = ReasonOf(error);
    if (id == IDS_SAVE_OTHER) // no plain words for it: the number at least
        std::swprintf(text, 600, L"%ls\n\n%ls (%lu)", heading, reason, static_cast<unsigned long>(error));
    else
        std::swprintf(text, 600, L"%ls\n\n%ls", heading, reason);
    const HWND sheet = ::GetParent(dialog);
    ::GetWindowTextW(sheet, caption, 160);
    const ModuleActivationScope look; // the box in the pages' own common controls
    ::MessageBoxW(sheet, text, caption, MB_OK | MB_ICONWARNING);
}

} // namespace

INT_PTR CALLBACK SettingsPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        AttachPageDevice(dialog, lParam);
        Load(dialog);
        return TRUE;
    case WM_COMMAND:
        Command(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_HSCROLL:
        FollowTrackbar(dialog, reinterpret_cast<HWND>(lParam), wParam, IDC_COLOR_TRACKBAR, IDC_COLOR_LEVEL);
        FollowTrackbar(dialog, reinterpret_cast<HWND>(lParam), wParam, IDC_GRAY_TRACKBAR, IDC_GRAY_LEVEL);
        return TRUE;
    case WM_NOTIFY:
        switch (reinterpret_cast<const NMHDR*>(lParam)->code)
        {
        case PSN_APPLY:
        {
            // PSNRET_NOERROR only once the new file is in place.
            const DWORD error = Save(dialog);
            trace::Applied(error, ReasonOf(error));
            if (error != ERROR_SUCCESS)
                TellNotSaved(dialog, error);
            ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT,
                                error == ERROR_SUCCESS ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
            return TRUE;
        }
        case PSN_KILLACTIVE:
            ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FALSE); // nothing to check: the page can be left
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        return TRUE;
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        FollowSystemLook(dialog, message, wParam, lParam);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace uiext2
