// The property sheet's events and the refusals of what is not ours.
#include "trace/trace_events.h"

#include "trace/trace_provider.h"

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

void Applied(DWORD error, const wchar_t* reason, size_t keysWritten) noexcept
{
    const UCHAR level = error == ERROR_SUCCESS ? kLevelInformation : kLevelError;
    if (!ExtensionProvider().Enabled(level, kKeywordSettings))
        return;
    const UINT32 keys = error == ERROR_SUCCESS ? static_cast<UINT32>(keysWritten) : 0;
    const UINT32 code = error;
    const TraceValue values[] = {TraceBytes(&keys, 4), TraceBytes(&code, 4),
                                 TraceText(error == ERROR_SUCCESS || !reason ? L"" : reason)};
    Write(level, kKeywordSettings, "Apply", kApplyFields, values);
}

void NotOurs(const char* check, const wchar_t* entry, DWORD error) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelWarning, kKeywordRefusal))
        return;
    const UINT32 code = error;
    const TraceValue values[] = {TraceText(check), TraceText(entry ? entry : L""), TraceBytes(&code, 4)};
    Write(kLevelWarning, kKeywordRefusal, "NotOurs", kNotOursFields, values);
}

} // namespace trace
} // namespace uiext2
