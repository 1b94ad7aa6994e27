// One writer's INI changes merged into another's file, key by key: known answers.
#include "device/profile_merge.h"
#include "double_byte_code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

bool ShiftJisLead(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
const uiext2_test::DoubleByteCodePage kShiftJis(ShiftJisLead);

struct MergeCase
{
    const char* name;
    const char* base;    // what the companion was handed
    const char* edited;  // what it left
    const char* current; // the device's file meanwhile
    const char* merged;
    const uiext2::AnsiCodePage* codePage = nullptr;
};

const MergeCase kCases[] = {
    {"another key applied meanwhile survives", "[Contents]\r\nCompression=1\r\nUnit=0\r\n",
     "[Contents]\r\nCompression=1\r\nUnit=1\r\n", "; kept\r\n[Contents]\r\nCompression=5\r\nUnit=0\r\n",
     "; kept\r\n[Contents]\r\nCompression=5\r\nUnit=1\r\n"},
    {"both changed one key: the companion wins", "[A]\r\nK=1\r\n", "[A]\r\nK=3\r\n", "[A]\r\nK=2\r\n",
     "[A]\r\nK=3\r\n"},
    {"a removed key goes from every occurrence of its section", "[A]\r\nK=1\r\nL=1\r\n[A]\r\nK=9\r\n", "[A]\r\nL=1\r\n",
     "[A]\r\nK=2\r\nL=1\r\n[B]\r\nK=1\r\n[a]\r\nk=7\r\n", "[A]\r\nL=1\r\n[B]\r\nK=1\r\n[a]\r\n"},
    {"an added key joins the section's first occurrence, in the file's line ends", "[A]\nK=1\n",
     "[A]\nK=1\nNew=x\n[B]\nM=2\n", "[A]\nK=1\n; note\n\n[B]\nN=1\n[A]\nZ=0\n",
     "[A]\nK=1\nNew=x\n; note\n\n[B]\nN=1\nM=2\n[A]\nZ=0\n"},
    {"a new section after a last line without a line end", "", "[New]\r\nA=1\r\nB=2\r\n", "[Old]\r\nK=1",
     "[Old]\r\nK=1\r\n[New]\r\nA=1\r\nB=2\r\n"},
    {"a missing file gets the additions", "[A]\r\nK=1\r\n", "[A]\r\nK=1\r\n[B]\r\nL=2\r\n", "", "[B]\r\nL=2\r\n"},
    {"a section removed whole, unless something else is left in it", "[A]\r\nK=1\r\n[B]\r\nL=1\r\n\r\n[C]\r\n",
     "[C]\r\n", "[A]\r\nK=1\r\nUser=1\r\n[B]\r\nL=2\r\n\r\n[C]\r\n", "[A]\r\nUser=1\r\n[C]\r\n"},
    {"names without letter case, values trimmed, '=' in a value", "[contents]\r\nunit=0\r\nUrl = a=b\r\n",
     "[CONTENTS]\r\nUNIT=1\r\n URL=a=c  \r\n", "[ Contents ]\r\nUnit = 0 ; x\r\nurl =  a=b\r\n",
     "[ Contents ]\r\nUnit = 1\r\nurl =  a=c\r\n"},
    {"a key twice: the first occurrence is the one read and written", "[A]\r\nK=1\r\nK=8\r\n", "[A]\r\nK=2\r\nK=9\r\n",
     "[A]\r\nK=1\r\nK=8\r\n", "[A]\r\nK=2\r\nK=8\r\n"},
    {"lines before the first section and unknown lines stay", "K=1\r\n[A]\r\nodd\r\nL=1\r\n", "K=2\r\n[A]\r\nL=1\r\n",
     "K=1\r\n[A]\r\nodd\r\nL=1\r\n", "K=1\r\n[A]\r\nodd\r\nL=1\r\n"},
    {"no change leaves the file byte for byte", "[A]\r\nK=1\r\n", "[A]\r\nK = 1 \r\n", "[A]\n\r\nK=5\r\r\n;",
     "[A]\n\r\nK=5\r\r\n;"},
    {"a later section of the same name is where nobody reads: the change goes to the first", "[A]\r\nK=1\r\n",
     "[A]\r\nK=3\r\n", "[A]\r\nX=1\r\n[B]\r\n[A]\r\nK=2\r\n", "[A]\r\nX=1\r\nK=3\r\n[B]\r\n[A]\r\nK=2\r\n"},
    {"trail bytes are not letters", "[A]\r\n\x83\x61=1\r\n", "[A]\r\n\x83\x61=1\r\n\x83\x41=2\r\n",
     "[A]\r\n\x83\x61=1\r\n", "[A]\r\n\x83\x61=1\r\n\x83\x41=2\r\n", &kShiftJis},
};

TEST(ProfileMerge, AppliesTheEditorsChangesKeyByKey)
{
    for (const MergeCase& c : kCases)
    {
        std::string merged = "stale";
        ASSERT_EQ(uiext2::ProfileUpdate::Written,
                  uiext2::MergeProfileChanges(c.base, c.edited, c.current, merged, c.codePage))
            << c.name;
        EXPECT_EQ(c.merged, merged) << c.name;
    }
}

// Keys written as WritePrivateProfileString writes them, and read as GetPrivateProfileString
// reads them: the first section of a name only, every other line byte for byte.
TEST(ProfileMerge, WritesAndReadsKeysWhereThePlatformsFunctionsDo)
{
    struct Row
    {
        const char* name;
        const char* current;
        uiext2::ProfileWrite write;
        const char* written;
        const char* readBack; // what a reader then finds for the written key
    };
    const Row rows[] = {
        {"a value replaced in place, its spacing kept",
         "[Contents]\r\nUnit = 0 \r\nX=1\r\n",
         {"contents", "UNIT", "1"},
         "[Contents]\r\nUnit = 1\r\nX=1\r\n",
         "1"},
        {"the same value leaves the line as it was", "[A]\r\nK = 1 \r\n", {"A", "K", "1"}, "[A]\r\nK = 1 \r\n", "1"},
        {"a new key after the section's last key, before its blank lines",
         "[A]\nK=1\n\n[B]\n",
         {"A", "N", "x"},
         "[A]\nK=1\nN=x\n\n[B]\n",
         "x"},
        {"the first section of two takes it",
         "[A]\r\n[A]\r\nN=old\r\n",
         {"A", "N", "new"},
         "[A]\r\nN=new\r\n[A]\r\nN=old\r\n",
         "new"},
        {"a new section at the end",
         "[A]\r\nK=1",
         {"Authentication", "Auth", "1"},
         "[A]\r\nK=1\r\n[Authentication]\r\nAuth=1\r\n",
         "1"},
        {"an empty file", "", {"Contents", "Unit", "0"}, "[Contents]\r\nUnit=0\r\n", "0"},
        {"an empty value", "[A]\r\nK=1\r\n", {"A", "K", ""}, "[A]\r\nK=\r\n", ""},
    };
    for (const Row& row : rows)
    {
        std::string written = "stale", value = "stale";
        ASSERT_EQ(uiext2::ProfileUpdate::Written, uiext2::WriteProfileKeys(row.current, &row.write, 1, written))
            << row.name;
        EXPECT_EQ(row.written, written) << row.name;
        EXPECT_TRUE(uiext2::ReadProfileValue(written, row.write.section, row.write.key, value)) << row.name;
        EXPECT_EQ(row.readBack, value) << row.name;
    }

    struct Read
    {
        const char* bytes;
        const char* value; // null: not found
    };
    const Read reads[] = {{"[A]\r\nK=\"  x  \"\r\n", "  x  "},
                          {"[A]\r\nK='q\"\r\n", "'q\""},
                          {"[B]\r\nK=1\r\n[A]\r\n[A]\r\nK=2\r\n", nullptr},
                          {"K=1\r\n[A]\r\n", nullptr}};
    for (const Read& read : reads)
    {
        std::string value;
        EXPECT_EQ(read.value != nullptr, uiext2::ReadProfileValue(read.bytes, "a", "k", value)) << read.bytes;
        EXPECT_EQ(read.value ? read.value : "", read.value ? value : "") << read.bytes;
    }
    EXPECT_TRUE(uiext2::IsBlankProfile(" \r\n\t\n"));
    EXPECT_FALSE(uiext2::IsBlankProfile("\r\n[A]"));
}

} // namespace
