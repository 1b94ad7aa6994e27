// The extension's provider and its scan-run events; the sheet's and the refusals' are in
// trace_sheet.cpp.
#include "trace/trace_events.h"

#include "trace/trace_provider.h"
#include "support/unique.h"

namespace uiext2
{
namespace trace
{

using platform::kLevelError;
using platform::kLevelInformation;
using platform::kLevelVerbose;
using platform::kLevelWarning;

namespace
{

// Its GUID, {92255BCB-E131-5EDD-4393-39ADE36ABE08}, is derived from the name at registration.
TraceProvider g_provider(kExtensionProvider);

constexpr TraceField kRunBegunFields[] = {{"Program", kTraceInUnicodeString, kTraceOutDefault},
                                          {"Device", kTraceInUnicodeString, kTraceOutDefault}};
constexpr TraceField kCompanionFields[] = {{"ProcessId", kTraceInUInt32, kTraceOutPid},
                                           {"Result", kTraceInInt32, kTraceOutHResult}};
constexpr TraceField kPipeClientFields[] = {{"ProcessId", kTraceInUInt32, kTraceOutPid},
                                            {"Accepted", kTraceInBool32, kTraceOutDefault}};
constexpr TraceField kPipeMessageFields[] = {{"Value", kTraceInUInt32, kTraceOutDefault}};
constexpr TraceField kCopyRefusedFields[] = {{"File", kTraceInUnicodeString, kTraceOutDefault},
                                             {"Error", kTraceInUInt32, kTraceOutWin32Error}};
constexpr TraceField kCopyIgnoredFields[] = {{"File", kTraceInAnsiString, kTraceOutDefault},
                                             {"Why", kTraceInAnsiString, kTraceOutDefault}};
constexpr TraceField kHandOffFields[] = {{"KeysMerged", kTraceInUInt32, kTraceOutDefault},
                                         {"CompanionExitMs", kTraceInUInt32, kTraceOutDefault}};
constexpr TraceField kDropFolderFields[] = {{"Removed", kTraceInUInt32, kTraceOutDefault},
                                            {"Left", kTraceInUInt32, kTraceOutDefault}};
constexpr TraceField kRunEndedFields[] = {{"Result", kTraceInInt32, kTraceOutHResult},
                                          {"PagesSaved", kTraceInUInt32, kTraceOutDefault}};
constexpr TraceField kPageFields[] = {{"Bytes", kTraceInUInt64, kTraceOutDefault},
                                      {"Milliseconds", kTraceInUInt32, kTraceOutDefault},
                                      {"Result", kTraceInInt32, kTraceOutHResult},
                                      {"FileName", kTraceInUnicodeString, kTraceOutDefault}};

// "image" with any extension, or none, as the clean-up's search pattern reads it.
ULONGLONG FileTimeValue(const FILETIME& time) noexcept
{
    return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

} // namespace

TraceProvider& ExtensionProvider() noexcept
{
    return g_provider;
}

const wchar_t* NameOnly(const wchar_t* path) noexcept
{
    const wchar_t* name = path;
    for (const wchar_t* at = path; *at; ++at)
        if (*at == L'\\' || *at == L'/')
            name = at + 1;
    return name;
}

void RegisterProvider() noexcept
{
    // A failed registration leaves the provider disabled: the extension works untraced.
    ExtensionProvider().Register();
}

void UnregisterProvider() noexcept
{
    ExtensionProvider().Unregister();
}

void RunBegun(const char* deviceName) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelInformation, kKeywordScan))
        return;
    wchar_t program[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        program[0] = L'\0';
    wchar_t device[80] = {};
    if (!deviceName || ::MultiByteToWideChar(CP_ACP, 0, deviceName, -1, device, 80) == 0)
        device[0] = L'\0';
    const TraceValue values[] = {TraceText(NameOnly(program)), TraceText(device)};
    Write(kLevelInformation, kKeywordScan, "RunBegun", kRunBegunFields, values);
}

void CompanionStarted(HRESULT launch, HANDLE process) noexcept
{
    const UCHAR level = FAILED(launch) ? kLevelError : kLevelInformation;
    if (!ExtensionProvider().Enabled(level, kKeywordScan))
        return;
    const UINT32 id = SUCCEEDED(launch) && process ? ::GetProcessId(process) : 0;
    const INT32 result = launch;
    const TraceValue values[] = {TraceBytes(&id, 4), TraceBytes(&result, 4)};
    Write(level, kKeywordScan, "CompanionStarted", kCompanionFields, values);
}

bool PipeClient(HANDLE pipe, bool accepted) noexcept
{
    const UCHAR level = accepted ? kLevelInformation : kLevelWarning;
    const ULONGLONG keyword = accepted ? kKeywordScan : kKeywordScan | kKeywordRefusal;
    if (!ExtensionProvider().Enabled(level, keyword))
        return accepted;
    ULONG client = 0;
    if (!::GetNamedPipeClientProcessId(pipe, &client))
        client = 0;
    const UINT32 id = client;
    const BOOL acceptedValue = accepted ? TRUE : FALSE;
    const TraceValue values[] = {TraceBytes(&id, 4), TraceBytes(&acceptedValue, 4)};
    Write(level, keyword, "PipeClient", kPipeClientFields, values);
    return accepted;
}

DWORD PipeMessage(DWORD value) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelVerbose, kKeywordScan))
        return value;
    const UINT32 message = value;
    const TraceValue values[] = {TraceBytes(&message, 4)};
    Write(kLevelVerbose, kKeywordScan, "PipeMessage", kPipeMessageFields, values);
    return value;
}

ULONG CopyRefused(const char* fileName, DWORD error) noexcept
{
    constexpr ULONGLONG keyword = kKeywordScan | kKeywordRefusal;
    if (!ExtensionProvider().Enabled(kLevelWarning, keyword))
        return 0;
    const UINT32 code = error;
    // UTF-16, so that a decoder reads the name alike whatever its own code page.
    wchar_t file[MAX_PATH] = {};
    if (!fileName || ::MultiByteToWideChar(CP_ACP, 0, fileName, -1, file, MAX_PATH) == 0)
        file[0] = L'\0';
    const TraceValue values[] = {TraceText(file), TraceBytes(&code, 4)};
    Write(kLevelWarning, keyword, "CopyRefused", kCopyRefusedFields, values);
    return 0;
}

void CopyIgnored(const char* fileName, const char* why) noexcept
{
    constexpr ULONGLONG keyword = kKeywordScan | kKeywordRefusal;
    if (!ExtensionProvider().Enabled(kLevelWarning, keyword))
        return;
    const TraceValue values[] = {TraceText(fileName ? fileName : ""), TraceText(why ? why : "")};
    Write(kLevelWarning, keyword, "CopyIgnored", kCopyIgnoredFields, values);
}

void CopyKept(const char* fileName, DWORD error) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelError, kKeywordScan))
        return;
    const UINT32 code = error;
    const TraceValue values[] = {TraceText(fileName ? fileName : ""), TraceBytes(&code, 4)};
    Write(kLevelError, kKeywordScan, "CopyKept", kCopyRefusedFields, values);
}

void HandOff(ULONG keysMerged, const CompanionWatch& companion) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelInformation, kKeywordScan))
        return;
    const UINT32 keys = keysMerged, exitMs = companion.ExitMs();
    const TraceValue values[] = {TraceBytes(&keys, 4), TraceBytes(&exitMs, 4)};
    Write(kLevelInformation, kKeywordScan, "HandOff", kHandOffFields, values);
}

CompanionWatch::CompanionWatch(HANDLE process) noexcept
{
    // A handle of its own: the run closes its handle on the companion before the copy-back.
    if (!process || !ExtensionProvider().Enabled(kLevelInformation, kKeywordScan) ||
        !::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &process_,
                           SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0))
    {
        process_ = nullptr;
        return;
    }
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    told_ = FileTimeValue(now);
}

CompanionWatch::~CompanionWatch()
{
    if (process_)
        ::CloseHandle(process_);
}

ULONG CompanionWatch::ExitMs() const noexcept
{
    FILETIME created, exited, kernel, user;
    if (!process_ || ::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0 ||
        !::GetProcessTimes(process_, &created, &exited, &kernel, &user))
        return 0xFFFFFFFFu;
    const ULONGLONG exit = FileTimeValue(exited);
    return exit > told_ ? static_cast<ULONG>((exit - told_) / 10000) : 0; // it may have left before it was told
}

void DropFolderEmptied(ULONG removed, ULONG left) noexcept
{
    if (!ExtensionProvider().Enabled(kLevelInformation, kKeywordScan))
        return;
    const UINT32 removedValue = removed, leftValue = left;
    const TraceValue values[] = {TraceBytes(&removedValue, 4), TraceBytes(&leftValue, 4)};
    Write(kLevelInformation, kKeywordScan, "DropFolderEmptied", kDropFolderFields, values);
}

HRESULT RunEnded(HRESULT result, ULONG pagesSaved) noexcept
{
    const UCHAR level = FAILED(result) ? kLevelError : kLevelInformation;
    if (!ExtensionProvider().Enabled(level, kKeywordScan))
        return result;
    const INT32 code = result;
    const UINT32 saved = pagesSaved;
    const TraceValue values[] = {TraceBytes(&code, 4), TraceBytes(&saved, 4)};
    Write(level, kKeywordScan, "RunEnded", kRunEndedFields, values);
    return result;
}

ULONGLONG PageClock() noexcept
{
    // Error is the lowest level of a page's events: any trace that takes pages takes it.
    return ExtensionProvider().Enabled(kLevelError, kKeywordPage) ? ::GetTickCount64() : 0;
}

ULONGLONG StreamBytes(IStream* stream) noexcept
{
    STATSTG stat = {};
    if (!stream || !ExtensionProvider().Enabled(kLevelError, kKeywordPage) ||
        FAILED(stream->Stat(&stat, STATFLAG_NONAME)))
        return 0;
    return stat.cbSize.QuadPart;
}

void Page(ULONGLONG started, ULONGLONG bytes, HRESULT result, const wchar_t* path) noexcept
{
    const UCHAR level = FAILED(result) ? kLevelError : kLevelVerbose;
    if (!ExtensionProvider().Enabled(level, kKeywordPage))
        return;
    const ULONGLONG elapsed = started ? ::GetTickCount64() - started : 0;
    const UINT32 milliseconds = elapsed > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<UINT32>(elapsed);
    const INT32 code = result;
    const wchar_t* name = SUCCEEDED(result) && path ? NameOnly(path) : L"";
    const TraceValue values[] = {TraceBytes(&bytes, 8), TraceBytes(&milliseconds, 4), TraceBytes(&code, 4),
                                 TraceText(name)};
    Write(level, kKeywordPage, "Page", kPageFields, values);
}

} // namespace trace
} // namespace uiext2
