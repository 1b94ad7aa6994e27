// The Settings page's keys: read from the file's bytes, and written back only where the user
// changed them, so that a key the companion program changed while the sheet was open stays.
#include "pages/settings_save.h"

#include "crypto/password_cipher.h"
#include "device/profile_merge.h"
#include "device/settings_store.h"
#include "device/system_code_page.h"
#include "res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace uiext2
{

namespace
{

constexpr wchar_t kChangesProperty[] = L"uiext2.SettingsChanges";

unsigned Changes(HWND dialog) noexcept
{
    return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(::GetPropW(dialog, kChangesProperty)));
}

bool IsChecked(HWND dialog, int id) noexcept
{
    return ::SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// 0 (also empty or not a number) is written as the lowest level, anything above the range as
// the highest.
void LevelText(HWND dialog, int edit, char (&text)[4]) noexcept
{
    UINT level = ::GetDlgItemInt(dialog, edit, nullptr, FALSE);
    if (level < kLowestLevel)
        level = kLowestLevel;
    if (level > kHighestLevel)
        level = kHighestLevel;
    std::snprintf(text, sizeof(text), "%u", level);
}

} // namespace

void NoteChanged(HWND dialog, unsigned changes) noexcept
{
    ::SetPropW(dialog, kChangesProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(Changes(dialog) | changes)));
}

void ForgetChanges(HWND dialog) noexcept
{
    ::RemovePropW(dialog, kChangesProperty);
}

UINT SettingsNumber(std::string_view file, const char* section, const char* key, int fallback) noexcept
{
    std::string value;
    if (!ReadProfileValue(file, section, key, value, &SystemCodePage()) || value.empty())
        return static_cast<UINT>(fallback);
    // As the platform reads it: leading blanks, a sign and decimal digits; 0 without any.
    return static_cast<UINT>(std::strtol(value.c_str(), nullptr, 10));
}

void SettingsText(std::string_view file, const char* section, const char* key, char* text, DWORD size) noexcept
{
    std::string value;
    if (size == 0)
        return;
    text[0] = '\0';
    if (!ReadProfileValue(file, section, key, value, &SystemCodePage()))
        return;
    const size_t length = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(text, value.data(), length);
    text[length] = '\0';
    ::SecureZeroMemory(&value[0], value.size());
}

DWORD SaveSettings(HWND dialog, const DeviceFolders& folders, size_t* written) noexcept
{
    const unsigned changed = Changes(dialog);
    if (written)
        *written = 0;
    if (changed == 0)
        return ERROR_SUCCESS; // OK on an untouched page: nothing to write, nothing to fail

    char color[4] = {};
    char gray[4] = {};
    LevelText(dialog, IDC_COLOR_LEVEL, color);
    LevelText(dialog, IDC_GRAY_LEVEL, gray);
    const bool login = IsChecked(dialog, IDC_AUTH);
    char userName[kUserNameSize] = {};
    char password[PasswordFieldSize] = {};
    if (login)
    {
        ::GetDlgItemTextA(dialog, IDC_USER_NAME, userName, sizeof(userName));
        ::GetDlgItemTextA(dialog, IDC_PASSWORD, password, sizeof(password));
    }
    // The empty password too: its stored form is not empty. A password the cipher could not
    // turn into its stored form is never written in clear into a file every local user can
    // read: the stored one stays as it was.
    const bool stored =
        TransformPasswordField(1, password, std::unique_ptr<char[]>(new (std::nothrow) char[PasswordFieldSize]));
    const bool account = IsChecked(dialog, IDC_ACCOUNT);
    char id[kAccountIdSize] = {};
    if (account)
        ::GetDlgItemTextA(dialog, IDC_ACCOUNT_ID, id, sizeof(id));

    const bool loginChanged = (changed & (kChangedAuth | kChangedUserName)) != 0;
    SettingsKey keys[8];
    size_t count = 0;
    keys[count++] = {kContents, "Compression", color, (changed & kChangedCompression) != 0};
    keys[count++] = {kContents, "CompressionGray", gray, (changed & kChangedCompressionGray) != 0};
    keys[count++] = {kContents, "Unit", IsChecked(dialog, IDC_UNIT_INCH) ? "1" : "0", (changed & kChangedUnit) != 0};
    keys[count++] = {kAuthentication, "Auth", login ? "1" : "0", (changed & kChangedAuth) != 0};
    keys[count++] = {kAuthentication, "UserName", userName, loginChanged};
    const bool passwordChanged = loginChanged || (changed & kChangedPassword) != 0;
    if (stored)
        keys[count++] = {kAuthentication, "Password", password, passwordChanged};
    keys[count++] = {kAuthentication, "Account", account ? "1" : "0", (changed & kChangedAccount) != 0};
    keys[count++] = {kAuthentication, "ID", id, (changed & (kChangedAccount | kChangedId)) != 0};
    const DWORD error = WriteSettingsKeys(folders, keys, count, written);
    ::SecureZeroMemory(password, sizeof(password));
    if (error == ERROR_SUCCESS)
    {
        ForgetChanges(dialog);
        if (passwordChanged && !stored) // still to be stored, once the cipher can
            NoteChanged(dialog, kChangedPassword);
    }
    return error;
}

} // namespace uiext2
