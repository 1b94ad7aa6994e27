// Device names as folder names, and path composition that fails rather than truncates.
#include "device/path_rules.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace uiext2
{

namespace
{

// CreateDirectoryA refuses folder paths that leave no room for an 8.3 name (248 bytes with
// the terminator). A folder whose longest file ("\VTTwainPageLog.ini") fits a path buffer
// is shorter than that, so checking the files is enough.
static_assert(kPathCapacity - sizeof(kPageLogFileName) <= 248, "a device folder fits CreateDirectoryA");

bool IsForbiddenByte(unsigned char c) noexcept
{
    return (c >= 1 && c <= 31) || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

char AsciiUpper(char c) noexcept
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringAsciiCase(const char* text, std::size_t length, const char* upper) noexcept
{
    if (std::strlen(upper) != length)
        return false;
    for (std::size_t i = 0; i < length; ++i)
    {
        if (AsciiUpper(text[i]) != upper[i])
            return false;
    }
    return true;
}

// The superscript digits 1, 2 and 3 of code page 1252, which Windows also accepts after
// COM and LPT as device names.
bool IsDeviceDigit(char c) noexcept
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

// Windows resolves a reserved name to its device when it stands alone, or before an
// extension, or before trailing spaces ("NUL.txt", "CON .ini").
bool IsReservedDeviceName(const char* name) noexcept
{
    const char* dot = std::strchr(name, '.');
    std::size_t length = dot ? static_cast<std::size_t>(dot - name) : std::strlen(name);
    while (length > 0 && name[length - 1] == ' ')
        --length;

    static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* reserved : kReserved)
    {
        if (EqualsIgnoringAsciiCase(name, length, reserved))
            return true;
    }
    return length == 4 && (EqualsIgnoringAsciiCase(name, 3, "COM") || EqualsIgnoringAsciiCase(name, 3, "LPT")) &&
           IsDeviceDigit(name[3]);
}

} // namespace

bool IsSafeFolderName(const char* name, LeadByteTest isLeadByte) noexcept
{
    if (!name || name[0] == '\0')
        return false;
    const std::size_t length = std::strlen(name);
    for (std::size_t i = 0; i < length; ++i)
    {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (isLeadByte && isLeadByte(byte))
        {
            if (i + 1 == length)
                return false; // a character cut in half
            ++i;              // its trail byte may be any value but 0
            continue;
        }
        if (IsForbiddenByte(byte))
            return false;
    }
    const char last = name[length - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsReservedDeviceName(name);
}

bool FormatPath(char* out, std::size_t capacity, const char* format, ...) noexcept
{
    if (!out || capacity == 0 || !format)
        return false;

    // Measure first, so a result that does not fit never reaches `out`.
    va_list args;
    va_start(args, format);
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measureArgs);
    va_end(measureArgs);

    bool fits = needed >= 0 && static_cast<std::size_t>(needed) < capacity;
    if (fits)
        fits = std::vsnprintf(out, capacity, format, args) == needed;
    va_end(args);
    return fits;
}

bool DevicePathsFit(std::size_t documentsLength, const char* deviceName) noexcept
{
    if (!deviceName)
        return false;
    std::size_t longest = 0;
    for (const char* file : kDeviceFileNames)
        longest = std::strlen(file) > longest ? std::strlen(file) : longest;
    // The three separators and the two folders between the documents folder and the device's.
    const std::size_t length = documentsLength + 1 + (sizeof(kVendorFolderName) - 1) + 1 +
                               (sizeof(kDevicesFolderName) - 1) + 1 + std::strlen(deviceName) + 1 + longest;
    return length < kPathCapacity;
}

} // namespace uiext2
