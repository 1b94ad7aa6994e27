// The tree of our folders and files, the rules for putting a device name into it, and path
// composition that fails rather than truncates. Pure logic: the folder roots come in as
// arguments.
#pragma once

#include <cstddef>

#if defined(__GNUC__) || defined(__clang__)
#define UIEXT2_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define UIEXT2_PRINTF_LIKE(formatIndex, firstArgument)
#endif

namespace uiext2
{

// MAX_PATH: the capacity of every path buffer, terminator included.
constexpr std::size_t kPathCapacity = 260;

// The tree, one component each: <documents>\Velmora\WIA\<device> holds a device's files,
// <documents>\Velmora\VT_WIA the copies handed to the companion during a scan, and
// <documents>\Velmora\VT_WIA_COPY the companion's finished images.
constexpr char kVendorFolderName[] = "Velmora";
constexpr char kDevicesFolderName[] = "WIA";
constexpr char kStagingFolderName[] = "VT_WIA";
constexpr char kDropFolderName[] = "VT_WIA_COPY";

// The driver package's folder under the program files folder: the templates of the files,
// the companion program and its help.
constexpr char kPackageFolder[] = "WIA Scanner\\USB2";

// The three per-device files, under these names in the device folder and in the driver
// package's template folder.
constexpr char kSettingsFileName[] = "VT_TWAIN1.ini";
constexpr char kScannerListFileName[] = "RegList.ini";
constexpr char kPageLogFileName[] = "VTTwainPageLog.ini";
// The device's lock (device_store.h), beside its files while a writer holds it.
constexpr char kLockFileName[] = "~settings.lock";
constexpr const char* kDeviceFileNames[] = {kSettingsFileName, kScannerListFileName, kPageLogFileName};

// Whether a byte of the ANSI code page in use starts a double-byte character. Null: a
// single-byte code page.
using LeadByteTest = bool (*)(unsigned char byte);

// True when `name` can stand as exactly one folder name in a Windows path, and names a
// folder of its own:
// - not null, not empty;
// - none of \ / : * ? " < > | and no control character (1-31);
// - no trailing dot or space (Windows strips them, so "Scanner." would alias "Scanner";
//   this also rules out "." and "..");
// - not a reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$ and
//   the superscript-digit COM/LPT forms), in any letter case, alone or followed by an
//   extension or by spaces, which Windows resolves to the device, not to a folder.
// In a double-byte code page the trail byte of a character is part of that character, as
// the file system's ANSI functions read it: a Japanese name whose trail byte equals '\'
// is a plain name. A lead byte without its trail byte makes the name unsafe.
bool IsSafeFolderName(const char* name, LeadByteTest isLeadByte = nullptr) noexcept;

// printf-style composition into `out` (capacity bytes, terminator included). False when
// the result would not fit, or on a formatting error; `out` is then left as it was.
bool FormatPath(char* out, std::size_t capacity, const char* format, ...) noexcept UIEXT2_PRINTF_LIKE(3, 4);

// True when the paths the companion opens in a device's folder,
// "<documents>\Velmora\WIA\<device>\<file>", fit kPathCapacity under a documents folder
// of `documentsLength` bytes. Measured, not composed.
bool DevicePathsFit(std::size_t documentsLength, const char* deviceName) noexcept;

} // namespace uiext2
