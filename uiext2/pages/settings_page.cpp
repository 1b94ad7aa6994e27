// The Settings page's dialog procedure: the device's settings file into the controls when
// the page opens, the controls kept in step while the user works, and the file written back
// when the sheet is applied, or the user told why it could not be. The page keeps no state of
// its own: it lives in the controls.
#include "pages/settings_page.h"

#include "pages/activation_context.h"
#include "com/module.h"
#include "trace/trace_events.h"
#include "crypto/password_cipher.h"
#include "device/wia_binding.h"
#include "device/settings_store.h"
#include "device/system_code_page.h"
#include "pages/language.h"
#include "pages/page_registration.h"
#include "pages/page_strings.h"
#include "pages/settings_save.h"
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

// True while WM_INITDIALOG fills the controls: the EN_CHANGE that setting an edit's text
// sends then is the page's own doing, not a change by the user. A sheet's pages all run on
// its one thread.
thread_local bool t_filling = false;

// Lights up the sheet's Apply button, as every property page does once the user changes
// something on it, and notes which keys the change is to write.
void Changed(HWND dialog, unsigned changes) noexcept
{
    if (t_filling)
        return;
    NoteChanged(dialog, changes);
    PropSheet_Changed(::GetParent(dialog), dialog);
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
void LoadLevel(HWND dialog, std::string_view file, int edit, int trackbar, const char* key, UINT zeroShownAs) noexcept
{
    ::SendDlgItemMessageA(dialog, trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(kLowestLevel, kHighestLevel));
    UINT level = SettingsNumber(file, kContents, key, 1);
    if (level == 0)
        level = zeroShownAs;
    SetTrackbar(dialog, trackbar, level);
    ::SetDlgItemInt(dialog, edit, level, FALSE);
}

// The file is read once, through the device's held folder; one that cannot be read shows
// the defaults (and Apply then says why it cannot save).
void Load(HWND dialog) noexcept
{
    FileBytes bytes;
    const BoundDevice* device = PageDevice(dialog);
    if (!device || ReadSettingsFile(device->folders, bytes) != ERROR_SUCCESS)
        bytes.Assign("", 0);
    const std::string_view file = bytes.text();

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
    LoadLevel(dialog, file, IDC_COLOR_LEVEL, IDC_COLOR_TRACKBAR, "Compression", 1);
    LoadLevel(dialog, file, IDC_GRAY_LEVEL, IDC_GRAY_TRACKBAR, "CompressionGray", 3);

    const bool inch = SettingsNumber(file, kContents, "Unit", DefaultUnit()) != 0;
    SetChecked(dialog, IDC_UNIT_INCH, inch);
    SetChecked(dialog, IDC_UNIT_METRIC, !inch);

    LimitText(dialog, IDC_USER_NAME, 64);
    LimitText(dialog, IDC_PASSWORD, 64);
    const bool login = SettingsNumber(file, kAuthentication, "Auth", 0) != 0;
    EnableLogin(dialog, login);
    SetChecked(dialog, IDC_AUTH, login);
    if (login)
    {
        char userName[kUserNameSize] = {};
        char password[PasswordFieldSize] = {};
        SettingsText(file, kAuthentication, "UserName", userName, sizeof(userName));
        SettingsText(file, kAuthentication, "Password", password, sizeof(password));
        // A stored form that does not decrypt stays as it stands, and is shown so.
        TransformPasswordField(0, password, PasswordScratch());
        ::SetDlgItemTextA(dialog, IDC_USER_NAME, userName);
        ::SetDlgItemTextA(dialog, IDC_PASSWORD, password);
        ::SecureZeroMemory(password, sizeof(password));
    }

    LimitText(dialog, IDC_ACCOUNT_ID, 8);
    const bool account = SettingsNumber(file, kAuthentication, "Account", 0) != 0;
    Enable(dialog, {IDC_ACCOUNT_ID}, account);
    if (account)
    {
        SetChecked(dialog, IDC_ACCOUNT, true);
        char id[kAccountIdSize] = {};
        SettingsText(file, kAuthentication, "ID", id, sizeof(id));
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
void FollowTrackbar(HWND dialog, HWND from, WPARAM wParam, int trackbar, int edit, unsigned key) noexcept
{
    if (from != ::GetDlgItem(dialog, trackbar))
        return;
    Changed(dialog, key);
    if (LOWORD(wParam) == TB_THUMBTRACK)
        ::SetDlgItemInt(dialog, edit, HIWORD(wParam), FALSE);
    else if (LOWORD(wParam) == TB_ENDTRACK)
        ::SetDlgItemInt(dialog, edit, static_cast<UINT>(::SendDlgItemMessageA(dialog, trackbar, TBM_GETPOS, 0, 0)),
                        FALSE);
}

// The keys a control's change is to write.
unsigned KeysOf(WORD control) noexcept
{
    switch (control)
    {
    case IDC_COLOR_LEVEL:
        return kChangedCompression;
    case IDC_GRAY_LEVEL:
        return kChangedCompressionGray;
    case IDC_UNIT_INCH:
    case IDC_UNIT_METRIC:
        return kChangedUnit;
    case IDC_AUTH:
        return kChangedAuth;
    case IDC_USER_NAME:
        return kChangedUserName;
    case IDC_PASSWORD:
        return kChangedPassword;
    case IDC_ACCOUNT:
        return kChangedAccount;
    case IDC_ACCOUNT_ID:
        return kChangedId;
    default:
        return 0;
    }
}

// Typing into an edit and clicking a button are changes of their keys; only the level
// edits, the unit buttons and the two ticks also move other controls.
void Command(HWND dialog, WORD control, WORD notification) noexcept
{
    if (notification == EN_CHANGE)
    {
        if (control == IDC_COLOR_LEVEL)
            FollowEdit(dialog, IDC_COLOR_LEVEL, IDC_COLOR_TRACKBAR);
        else if (control == IDC_GRAY_LEVEL)
            FollowEdit(dialog, IDC_GRAY_LEVEL, IDC_GRAY_TRACKBAR);
        Changed(dialog, KeysOf(control));
        return;
    }
    if (notification != BN_CLICKED)
        return;
    Changed(dialog, KeysOf(control));

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

// Why an Apply failed, as the message box says it (its string) and as the trace names it.
struct Reason
{
    UINT id;
    const wchar_t* traced; // UTF-16: a decoder reads 8-bit text in its own machine's code page
};

Reason ReasonOf(DWORD error) noexcept
{
    switch (error)
    {
    case ERROR_SHARING_VIOLATION:
        return {IDS_SAVE_IN_USE, L"in use"};
    case ERROR_LOCK_VIOLATION: // another writer of ours held the device's lock past the retries
    case ERROR_LOCK_FAILED:    // an entry that is no lock of ours stands under its name
        return {IDS_SAVE_LOCKED, L"locked"};
    case kErrorNotOurs:
    case ERROR_FILE_TOO_LARGE:
    case ERROR_HANDLE_EOF:
        return {IDS_SAVE_NOT_OURS, L"not ours"};
    case kErrorUnsureProfile:
        return {IDS_SAVE_UNSURE, L"unsure"};
    case ERROR_PATH_NOT_FOUND: // the device's folder, or one above it, is a link or gone
        return {IDS_SAVE_FOLDER, L"folder"};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return {IDS_SAVE_DENIED, L"denied"};
    default:
        return {IDS_SAVE_OTHER, L"other"};
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
        !LoadLanguageString(ModuleInstance(), ReasonOf(error).id, language, reason, 400))
        return;
    const UINT id = ReasonOf(error).id;
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
        FollowTrackbar(dialog, reinterpret_cast<HWND>(lParam), wParam, IDC_COLOR_TRACKBAR, IDC_COLOR_LEVEL,
                       kChangedCompression);
        FollowTrackbar(dialog, reinterpret_cast<HWND>(lParam), wParam, IDC_GRAY_TRACKBAR, IDC_GRAY_LEVEL,
                       kChangedCompressionGray);
        return TRUE;
    case WM_NOTIFY:
        switch (reinterpret_cast<const NMHDR*>(lParam)->code)
        {
        case PSN_APPLY:
        {
            // PSNRET_NOERROR only once the new file is in place, or when nothing changed.
            const BoundDevice* device = PageDevice(dialog);
            size_t written = 0;
            const DWORD error = device ? SaveSettings(dialog, device->folders, &written) : ERROR_PATH_NOT_FOUND;
            trace::Applied(error, ReasonOf(error).traced, written);
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
    case WM_DESTROY:
        ForgetChanges(dialog);
        return FALSE;
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
