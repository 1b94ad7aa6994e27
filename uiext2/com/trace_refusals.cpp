// The property sheet's events and the refusals of what is not ours.
#include "com/trace_events.h"

#include "com/trace_provider.h"
#include "device/entry_access.h"
#include "res/resource.h"

#include <cwchar>

namespace uiext2
{
namespace trace
{

using platform::kLevelError;
using platform::kLevelInformation;
using platform::kLevelWarning;

namespace
{

constexpr TraceField kSheetPagesFields[] = {{"Settings", kTraceInBool32, kTraceOutDefault},
                                            {"About", kTraceInBool32, kTraceOutDefault},
                                            {"Language", kTraceInHexInt32, kTraceOutDefault}};
constexpr TraceField kApplyFields[] = {{"KeysWritten", kTraceInUInt32, kTraceOutDefault},
                                       {"Error", kTraceInUInt32, kTraceOutWin32Error},
                                       {"Reason", kTraceInUnicodeString, kTraceOutDefault}};
constexpr TraceField kNotOursFields[] = {{"Check", kTraceInAnsiString, kTraceOutDefault},
                                         {"Entry", kTraceInUnicodeString, kTraceOutDefault},
                                         {"Error", kTraceInUInt32, kTraceOutWin32Error}};

// UTF-16: a decoder would read 8-bit text in its own machine's code page.
const wchar_t* ReasonText(UINT reasonId) noexcept
{
    switch (reasonId)
    {
    case IDS_SAVE_IN_USE:
        return L"in use";
    case IDS_SAVE_NOT_OURS:
        return L"not ours";
    case IDS_SAVE_FOLDER:
        return L"folder";
    case IDS_SAVE_DENIED:
        return L"denied";
    default:
        return L"other";
    }
}

bool TracingRefusals() noexcept
{
    return ExtensionProvider().Enabled(kLevelWarning, kKeywordRefusal);
}

void Refused(const char* check, const wchar_t* expected, DWORD error) noexcept
{
    const UINT32 code = error;
    const wchar_t* entry = expected ? std::wcsrchr(expected, L'\\') : nullptr;
    const TraceValue values[] = {TraceText(check),
                                 TraceText(entry      ? entry + 1
                                           : expected ? expected
                                                      : L""),
                                 TraceBytes(&code, 4)};
    Write(kLevelWarning, kKeywordRefusal, "NotOurs", kNotOursFields, values);
}

// Which of OpenOwnFile's checks refused the file, in their order; the name check when every
// other one passes.
const char* FileCheck(HANDLE handle, DWORD& error) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)) ||
        !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard)))
    {
        error = ::GetLastError();
        return "attributes";
    }
    if (IsLink(tag))
        return "link";
    if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || standard.Directory)
        return "folder";
    if (tag.FileAttributes & FILE_ATTRIBUTE_DEVICE)
        return "file";
    return standard.NumberOfLinks != 1 ? "second name" : "name";
}

// Which of OwnFolder's checks refused the folder, in their order.
const char* FolderCheck(HANDLE handle, DWORD& error) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)))
    {
        error = ::GetLastError();
        return "attributes";
    }
    if (!(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return "file";
    return IsLink(tag) ? "link" : "name";
}

} // namespace

void SheetPages(bool settings, bool about, WORD language) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelInformation, kKeywordSettings))
        return;
    const BOOL settingsKept = settings ? TRUE : FALSE, aboutKept = about ? TRUE : FALSE;
    const UINT32 languageValue = language;
    const TraceValue values[] = {TraceBytes(&settingsKept, 4), TraceBytes(&aboutKept, 4),
                                 TraceBytes(&languageValue, 4)};
    Write(kLevelInformation, kKeywordSettings, "SheetPages", kSheetPagesFields, values);
}

void Applied(DWORD error, UINT reasonId, size_t keysWritten) noexcept
{
    const UCHAR level = error == ERROR_SUCCESS ? kLevelInformation : kLevelError;
    if (!ExtensionProvider().Enabled(level, kKeywordSettings))
        return;
    const UINT32 keys = error == ERROR_SUCCESS ? static_cast<UINT32>(keysWritten) : 0;
    const UINT32 code = error;
    const TraceValue values[] = {TraceBytes(&keys, 4), TraceBytes(&code, 4),
                                 TraceText(error == ERROR_SUCCESS ? L"" : ReasonText(reasonId))};
    Write(level, kKeywordSettings, "Apply", kApplyFields, values);
}

DWORD FileNotOurs(HANDLE handle, const wchar_t* expected) noexcept
{
    if (TracingRefusals())
    {
        DWORD error = kErrorNotOurs;
        const char* check = FileCheck(handle, error);
        Refused(check, expected, error);
    }
    return kErrorNotOurs;
}

DWORD FolderNotOurs(HANDLE handle, const wchar_t* expected) noexcept
{
    if (TracingRefusals())
    {
        DWORD error = kErrorNotOurs;
        const char* check = FolderCheck(handle, error);
        Refused(check, expected, error);
    }
    return kErrorNotOurs;
}

DWORD OpenRefused(DWORD error, const wchar_t* expected, bool folder) noexcept
{
    // What the open found: a file where a folder belongs, or a folder where a file does.
    if (error == kErrorNotOurs && TracingRefusals())
        Refused(folder ? "file" : "folder", expected, error);
    return error;
}

bool NameHeld(bool held, const wchar_t* expected) noexcept
{
    if (!held && TracingRefusals())
        Refused("name", expected, kErrorNotOurs);
    return held;
}

} // namespace trace
} // namespace uiext2
