// This extension's event-tracing provider, "Velmora.WiaScanner.UiExtension"
// {92255BCB-E131-5EDD-4393-39ADE36ABE08} (the GUID derived from the name), and one function
// per event. Each function first tests the provider's enabled state and returns at once
// while nobody traces; only then does it gather its values. Functions that take a
// result return it unchanged, so that a call site can stay one line.
//
// No event carries a password, a login name, file content or a folder path: files and
// programs appear by their names alone. The platform's header of every event already holds
// the process and thread IDs and the time.
#pragma once

#include <windows.h>
#include <objidl.h>

namespace uiext2
{
namespace trace
{

// Keywords: an engineer asks for one area, several, or (no keyword given) all of them.
constexpr ULONGLONG kKeywordScan = 0x1;     // a scan run's steps: begin, companion, pipe, hand-off, clean-up, result
constexpr ULONGLONG kKeywordPage = 0x2;     // each page of a scan
constexpr ULONGLONG kKeywordSettings = 0x4; // the property sheet's pages and each Apply
constexpr ULONGLONG kKeywordRefusal = 0x8;  // what was refused to keep the user safe

// Levels follow the platform's: 2 error (something the user wanted did not happen), 3
// warning (a refusal that protected the user), 4 information (the steps of a run or an
// Apply), 5 verbose (each message and each page).

// At DLL_PROCESS_ATTACH and at a FreeLibrary's DLL_PROCESS_DETACH.
void RegisterProvider() noexcept;
void UnregisterProvider() noexcept;

// ---- A scan run (keyword Scan) ----

// "RunBegun", information: Program (UTF-16, the host's file name without its folder),
// Device (UTF-16, the WIA device name; empty when the driver gave none).
void RunBegun(const char* deviceName) noexcept;

// "CompanionStarted", information, or error when it could not be started: ProcessId (PID,
// 0 when not started), Result (HRESULT, the launch error or S_OK).
void CompanionStarted(HRESULT launch, HANDLE process) noexcept;

// "PipeClient", information when accepted, warning with keyword Refusal when refused (a
// stranger, not the companion, opened the pipe): ProcessId (PID of the client as the pipe
// reports it, 0 when unknown), Accepted (BOOL). Returns `accepted`.
bool PipeClient(HANDLE pipe, bool accepted) noexcept;

// "PipeMessage", verbose: Value (UINT32; 2 pages are ready, 1134 the scan ended). Returns
// `value`.
DWORD PipeMessage(DWORD value) noexcept;

// "CopyRefused", warning with keyword Refusal: a copy that could not be made this device's
// before the companion started (and was removed), or a companion's changes that could not be
// put into the device's file. File (UTF-16, the settings file's name), Error (Win32 error: why; 222 is a file
// that is not ours, such as one with a second name). Returns 0: no key of that copy came back.
ULONG CopyRefused(const char* fileName, DWORD error) noexcept;

// "CopyIgnored", warning with keywords Scan and Refusal: a staging copy whose content is no
// instruction, and changes nothing. File; Why ("emptied", "cut inside a line", "section lost",
// "does not parse", "not this run's": replaced by another run since it was handed over).
void CopyIgnored(const char* fileName, const char* why) noexcept;

// "CopyKept", error with keyword Scan: the companion's changes to that file could not be
// merged; the copy and the hand-off record stay, and the next run merges them. File, Error.
void CopyKept(const char* fileName, DWORD error) noexcept;

// Watches the companion from the moment the run tells it that the run ended: while a trace runs
// it keeps a handle of its own on the process (the run lets go of its handle before
// the copy-back); nothing at all while none does.
class CompanionWatch
{
public:
    explicit CompanionWatch(HANDLE process) noexcept;
    ~CompanionWatch();
    CompanionWatch(const CompanionWatch&) = delete;
    CompanionWatch& operator=(const CompanionWatch&) = delete;
    // Milliseconds from the watch's start to the companion's exit; 0xFFFFFFFF while it runs.
    ULONG ExitMs() const noexcept;

private:
    HANDLE process_ = nullptr;
    ULONGLONG told_ = 0; // FILETIME units
};

// "HandOff", information, once the copies are back: KeysMerged (UINT32, the keys the
// companion added, changed or removed that went into the device's files), CompanionExitMs
// (UINT32, from the moment the run told the companion it ended to the companion's exit, as
// `companion` saw it after the copy-back; 0xFFFFFFFF when it had not exited by then).
void HandOff(ULONG keysMerged, const CompanionWatch& companion) noexcept;

// "DropFolderEmptied", information: Removed (UINT32, the "image.*" entries the clean-up
// deleted), Left (UINT32, every other entry the folder listed).
void DropFolderEmptied(ULONG removed, ULONG left) noexcept;

// "RunEnded", information, or error when the result is a failure: Result (HRESULT, what
// DeviceDialog returns; S_FALSE when another run of this logon was active), PagesSaved
// (UINT32). Returns `result`.
HRESULT RunEnded(HRESULT result, ULONG pagesSaved) noexcept;

// ---- Pages of a scan (keyword Page) ----

// The start of a page's transfer, for Page(); 0 while nobody traces.
ULONGLONG PageClock() noexcept;
// The bytes a page's stream holds, for Page(); 0 while nobody traces.
ULONGLONG StreamBytes(IStream* stream) noexcept;

// "Page", verbose when saved, error when not: Bytes (UINT64), Milliseconds (UINT32, since
// `started`), Result (HRESULT, why no file when failed), FileName (UTF-16, the file's name
// without its folder; empty when none was made).
void Page(ULONGLONG started, ULONGLONG bytes, HRESULT result, const wchar_t* path) noexcept;

// ---- The property sheet (keyword Settings) ----

// "SheetPages", information: Settings, About (BOOL, each page the host kept), Language
// (hex, the resource language of the pages' templates).
void SheetPages(bool settings, bool about, WORD language) noexcept;

// "Apply", information when saved, error when not: KeysWritten (UINT32, the keys written
// into the file put in place: those the user changed and those the file lacked; 0 when none
// was), Error (Win32 error, ERROR_SUCCESS when saved), Reason (UTF-16: the reason the message
// box gave, "in use", "locked", "not ours", "unsure", "folder", "denied" or "other"; empty when saved).
void Applied(DWORD error, const wchar_t* reason, size_t keysWritten) noexcept;

// ---- Refusals of what is not ours (keyword Refusal) ----

// "NotOurs", warning: Check (text: which check refused, "attributes" when the entry's
// attributes could not be read, "link" for a reparse point, "folder" for a folder where a
// file belongs, "file" for a file or device where a folder belongs, "second name" for a file
// with more than one name, "name" for an entry that is not where its folder is, the handle
// naming another file), Entry (UTF-16, the entry's own name), Error (Win32 error: the
// platform's where a query failed, else 222, not ours).
void NotOurs(const char* check, const wchar_t* entry, DWORD error) noexcept;

} // namespace trace
} // namespace uiext2
