// What the Settings page reads from the device's settings file, which of its keys the user
// changed, and the write of those keys when the sheet is applied.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

namespace uiext2
{

class DeviceFolders;

// The page's sections, the range of its levels, and its text sizes (terminator included:
// what the file may hold for each key).
constexpr char kContents[] = "Contents";
constexpr char kAuthentication[] = "Authentication";
constexpr UINT kLowestLevel = 1;
constexpr UINT kHighestLevel = 5;
constexpr int kUserNameSize = 65;
constexpr int kAccountIdSize = 16;

// The keys the page writes, as bits of what the user changed.
enum SettingsChange : unsigned
{
    kChangedCompression = 1u << 0,
    kChangedCompressionGray = 1u << 1,
    kChangedUnit = 1u << 2,
    kChangedAuth = 1u << 3,
    kChangedUserName = 1u << 4,
    kChangedPassword = 1u << 5,
    kChangedAccount = 1u << 6,
    kChangedId = 1u << 7,
};

// The user changed what `changes` names on the page (kept with the page's window).
void NoteChanged(HWND dialog, unsigned changes) noexcept;
// Forgets the page's changes: after they were written, and before the window goes.
void ForgetChanges(HWND dialog) noexcept;

// A key as GetPrivateProfileInt and GetPrivateProfileString read it from `file`'s bytes.
UINT SettingsNumber(std::string_view file, const char* section, const char* key, int fallback) noexcept;
void SettingsText(std::string_view file, const char* section, const char* key, char* text, DWORD size) noexcept;

// Writes the keys whose controls the user changed, and any of the eight that the file lacks,
// through the one update of a settings file; nothing at all when the user changed nothing.
// ERROR_SUCCESS once they are in place, else why not; `written` (when given) receives the
// number of keys written.
DWORD SaveSettings(HWND dialog, const DeviceFolders& folders, size_t* written = nullptr) noexcept;

} // namespace uiext2
