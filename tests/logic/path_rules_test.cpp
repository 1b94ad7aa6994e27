// Device names as folder names, and path composition that fails rather than truncates.
#include "device/path_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

using uiext2::DevicePathsFit;
using uiext2::FormatPath;
using uiext2::IsSafeFolderName;
using uiext2::kPathCapacity;

struct NameCase
{
    const char* name;
    bool safe;
};

const NameCase kNameCases[] = {
    {"VT-3000", true},     {"VT 3000 (USB) #2", true},
    {"a", true},           {" leading space", true},
    {"Scanner.v2", true},  {"Sc\xE4nner", true}, // bytes above 127 are the code page's letters
    {"CONSOLE", true},                           // only the exact device names are reserved
    {"NULL", true},        {"COM", true},
    {"COM10", true},       {"LPTA", true},
    {"AUX_1", true},       {"Scanner.CON", true}, // a reserved name as the extension is a plain file name
    {nullptr, false},      {"", false},
    {".", false},          {"..", false},
    {"...", false},        {"Scanner.", false}, // Windows strips the dot: it would alias "Scanner"
    {"Scanner ", false},   {" ", false},
    {"a\\b", false},       {"..\\Public", false},
    {"\\\\server", false}, {"a/b", false},
    {"C:", false},         {"C:x", false},
    {"a:stream", false},   {"a*b", false},
    {"a?b", false},        {"a\"b", false},
    {"a<b", false},        {"a>b", false},
    {"a|b", false},        {"a\tb", false},
    {"\x01", false},       {"a\x1F", false},
    {"a\nb", false},       {"\x95\x5C", false}, // a double-byte character with a '\' trail byte: rejected all the same
    {"CON", false},        {"con", false},
    {"Nul", false},        {"PRN", false},
    {"AUX", false},        {"NUL.txt", false}, // a reserved name before an extension is still the device
    {"AUX .ini", false},   {"CON.tar.gz", false},
    {"COM1", false},       {"com9", false},
    {"COM0", false},       {"LPT1", false},
    {"lpt5.log", false},   {"COM\xB9", false}, // superscript one
    {"LPT\xB2", false},                        // superscript two
    {"LPT\xB3.x", false},                      // superscript three
    {"CONIN$", false},     {"conout$", false},
};

TEST(PathRules, SafeFolderNames)
{
    for (const NameCase& row : kNameCases)
    {
        const std::string shown = row.name ? row.name : "(null)";
        EXPECT_EQ(row.safe, IsSafeFolderName(row.name)) << "name \"" << shown << "\"";
    }
}

// Lead bytes of code page 932 (Japanese).
bool ShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

TEST(PathRules, DoubleByteNamesKeepTheirTrailBytes)
{
    const NameCase rows[] = {
        {"\x83\x5C\x83\x74\x83\x67", true}, // a katakana word whose first trail byte is '\\'
        {"\x95\x5C", true},                 // a kanji with the same trail byte
        {"\x83\x7C", true},                 // trail byte '|'
        {"VT-\x83\x5C", true},
        {"\x83\x5C\\x", false}, // a real separator after the character still counts
        {"\x83", false},        // a lead byte without its trail byte
        {"VT\x83", false},
        {"\x83\x5C.", false}, // a trailing dot after a double-byte character
        {"CON", false},
    };
    for (const NameCase& row : rows)
        EXPECT_EQ(row.safe, IsSafeFolderName(row.name, ShiftJisLeadByte)) << "name \"" << row.name << "\"";
    EXPECT_FALSE(IsSafeFolderName("\x83\x5C")) << "a single-byte code page reads the separator";
}

TEST(PathRules, FormatPathFitsOrLeavesTheBufferAlone)
{
    struct Case
    {
        std::size_t capacity;
        const char* argument;
        bool fits;
        const char* expected; // what the buffer holds afterwards
    };
    const Case cases[] = {
        {8, "1234", true, "<1234>"},
        {8, "12345", true, "<12345>"},     // 7 bytes and the terminator: exactly full
        {8, "123456", false, "XXXXXXXXX"}, // one byte over: nothing written
        {8, "", true, "<>"},
        {1, "", false, "XXXXXXXXX"},
        {0, "", false, "XXXXXXXXX"},
    };
    for (const Case& row : cases)
    {
        char buffer[10];
        std::memset(buffer, 'X', sizeof(buffer) - 1);
        buffer[sizeof(buffer) - 1] = '\0';
        EXPECT_EQ(row.fits, FormatPath(buffer, row.capacity, "<%s>", row.argument))
            << row.capacity << " " << row.argument;
        EXPECT_STREQ(row.expected, buffer) << row.capacity << " " << row.argument;
    }

    char buffer[kPathCapacity];
    ASSERT_TRUE(FormatPath(buffer, sizeof(buffer), "%s\\Velmora\\WIA\\%s\\%d", "C:\\root", "dev", 7));
    EXPECT_STREQ("C:\\root\\Velmora\\WIA\\dev\\7", buffer);
    // Percent signs in an argument are text, not directives.
    ASSERT_TRUE(FormatPath(buffer, sizeof(buffer), "%s\\x", "100%s%n"));
    EXPECT_STREQ("100%s%n\\x", buffer);
}

// The page log file is the longest path: root + "\Velmora\WIA\" (13) + name +
// "\VTTwainPageLog.ini" (19) must stay within 259 bytes.
TEST(PathRules, DevicePathsThatWouldNotFitAreRefused)
{
    struct Case
    {
        std::size_t rootLength, nameLength;
        bool fits;
    };
    const Case cases[] = {{200, 1, true}, {200, 27, true}, {200, 28, false}, {200, 300, false},
                          {226, 1, true}, {227, 1, false}, {0, 227, true}};
    for (const Case& row : cases)
        EXPECT_EQ(row.fits, DevicePathsFit(row.rootLength, std::string(row.nameLength, 'n').c_str()))
            << row.rootLength << " " << row.nameLength;
    EXPECT_FALSE(DevicePathsFit(0, nullptr));
}

} // namespace
