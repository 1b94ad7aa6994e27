// Settings files in every encoding and line end the profile readers take, and the files on
// which those readers disagree: known answers.
#include "device/profile_merge.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using uiext2::ProfileUpdate;
using namespace std::string_literals;

// UTF-16 of ASCII text, as a UTF-16 file holds it.
std::string Utf16(std::string_view ascii, bool littleEndian = true)
{
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii)
        out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}

// Fault: a write that ignores the file's encoding or line ends (ANSI bytes after UTF-16
// text, a key after a line the reader splits at a lone CR, LF added to a CR file).
TEST(ProfileEncoding, WritesKeepTheFilesEncodingMarkAndLineEnds)
{
    struct Row
    {
        const char* name;
        std::string current;
        uiext2::ProfileWrite write;
        std::string written;
    };
    const Row rows[] = {
        {"UTF-16 LE", Utf16("[Contents]\r\nUnit=0\r\n"), {"Contents", "Unit", "1"}, Utf16("[Contents]\r\nUnit=1\r\n")},
        {"UTF-16 LE, a new key", Utf16("[A]\r\nK=1\r\n"), {"A", "N", "\xE9"}, Utf16("[A]\r\nK=1\r\nN=\xE9\r\n")},
        {"UTF-8 mark, the section on a later line",
         "\xEF\xBB\xBF; caf\xC3\xA9\r\n[A]\r\nK=1\r\n",
         {"A", "K", "2"},
         "\xEF\xBB\xBF; caf\xC3\xA9\r\n[A]\r\nK=2\r\n"},
        {"lone CR line ends", "[A]\rK=1\r[B]\rL=1", {"A", "N", "x"}, "[A]\rK=1\rN=x\r[B]\rL=1"},
        {"mixed line ends: the first one is taken", "[A]\nK=1\r[B]\r\n", {"B", "M", "2"}, "[A]\nK=1\r[B]\r\nM=2\n"},
        {"a key line without '=' takes the value", "[A]\r\n K \r\nK=9\r\n", {"A", "K", "1"}, "[A]\r\n K=1\r\nK=9\r\n"},
    };
    for (const Row& row : rows)
    {
        std::string written;
        EXPECT_EQ(ProfileUpdate::Written, uiext2::WriteProfileKeys(row.current, &row.write, 1, written)) << row.name;
        EXPECT_EQ(row.written, written) << row.name;
    }
}

// Fault: a write that lands where one of the platform's readers does not look (Windows reads
// a UTF-8 mark as ANSI and no UTF-16 BE; Wine names a section up to the last ']', Windows up
// to the first), or into a file a reader may read otherwise (NUL, ^Z). Nothing may change.
TEST(ProfileEncoding, ChangesNothingWhereTheReadersCouldDiffer)
{
    const std::string files[] = {
        "\xEF\xBB\xBF[Contents]\r\nUnit=0\r\n",
        Utf16("[Contents]\r\nUnit=0\r\n", false),
        "[Contents]x]\r\nUnit=0\r\n[Contents]\r\nUnit=0\r\n",
        "[Contents\r\nUnit=0\r\n",
        "[Contents]\r\nUnit=0\r\nK=a\0b\r\n"s,
        "[Contents]\r\n\x1AUnit=0\r\n",
        "[Contents]\r\nUnit=0\f\r\n",
        "\xEF\xBB\xBF",
    };
    const uiext2::ProfileWrite write{"Contents", "Unit", "1"};
    for (const std::string& file : files)
    {
        std::string merged = "stale";
        EXPECT_EQ(ProfileUpdate::Unsure, uiext2::WriteProfileKeys(file, &write, 1, merged)) << file;
        EXPECT_EQ(file, merged);
        const std::string edited = "[Contents]\r\nUnit=1\r\n";
        EXPECT_EQ(ProfileUpdate::Unsure, uiext2::MergeProfileChanges(file, edited, file, merged)) << file;
        EXPECT_EQ(file, merged);
    }
    // The same change in a file both read alike is made.
    std::string merged;
    EXPECT_EQ(ProfileUpdate::Written,
              uiext2::MergeProfileChanges("[A]\rK=1\r", "[A]\rK=2\r", "\xEF\xBB\xBF\r\n[A]\rK=1\r", merged));
    EXPECT_EQ("\xEF\xBB\xBF\r\n[A]\rK=2\r", merged);
}

// Fault: the page shows the defaults, not the file's values, for a file in another encoding.
TEST(ProfileEncoding, ReadsValuesAsTheirFilesMarkSays)
{
    struct Row
    {
        std::string bytes;
        const char* value; // of A/K; null: none
    };
    const Row rows[] = {
        {"\xEF\xBB\xBF[A]\r\nK=caf\xC3\xA9\r\n", "caf\xE9"},
        {Utf16("[A]\r\nK= \"1 \" \r\n"), "1 "},
        {Utf16("[A]\r\nK=2\r\n", false), "2"},
        {"[A]\rK=3", "3"},
        {"[A]x]\nK=4\n[A]\nK=5\n", "5"},
        {"[A]\n[C\r]\nK=6\n", "6"},
        {"[A]\nK\n", nullptr},
        {"[A]\nK=7\0z\n"s, "7"},
    };
    for (const Row& row : rows)
    {
        std::string value = "stale";
        EXPECT_EQ(row.value != nullptr, uiext2::ReadProfileValue(row.bytes, "a", "k", value)) << row.bytes;
        EXPECT_EQ(row.value ? row.value : "stale", value) << row.bytes;
    }
}

} // namespace
