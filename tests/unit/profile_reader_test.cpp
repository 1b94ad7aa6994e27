// The INI model against the platform's own reader: generated files read by both must agree
// key for key, and a key the model writes must read back through GetPrivateProfileStringA as
// meant, every other key as before. Run once per ANSI code page (CTest: 1252 and 932).
#include "device/profile_merge.h"
#include "device/system_code_page.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

using uiext2::ProfileUpdate;
using namespace std::string_literals;

class ProfileReader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char folder[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, folder));
        // One file per process: the runs of each code page may overlap.
        path_ = std::string(folder) + "uiext2_profile_reader" + std::to_string(::GetCurrentProcessId()) + ".ini";
    }
    void TearDown() override
    {
        ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
        ::DeleteFileA(path_.c_str());
    }

    // The file's bytes, and no copy of an earlier file in the reader (Wine keeps the file it
    // read last; the empty call drops it, on Windows too).
    void Put(const std::string& bytes)
    {
        ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
        HANDLE file = ::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD done = 0;
        ASSERT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
        ::CloseHandle(file);
    }

    // What GetPrivateProfileSectionNamesA and GetPrivateProfileSectionA list.
    std::vector<uiext2::ProfileSection> Listed() const
    {
        static char names[1 << 16], entries[1 << 16];
        std::vector<uiext2::ProfileSection> sections;
        const DWORD size = ::GetPrivateProfileSectionNamesA(names, sizeof(names), path_.c_str());
        for (DWORD at = 0; at < size; at += static_cast<DWORD>(sections.back().name.size()) + 1)
        {
            sections.push_back({names + at, {}});
            const DWORD length = ::GetPrivateProfileSectionA(names + at, entries, sizeof(entries), path_.c_str());
            for (DWORD e = 0; e < length; e += static_cast<DWORD>(sections.back().entries.back().size()) + 1)
                sections.back().entries.push_back(entries + e);
        }
        return sections;
    }

    // Every listed key's value as GetPrivateProfileStringA finds it, named without case.
    std::map<std::string, std::string> Values(const std::vector<uiext2::ProfileSection>& sections) const
    {
        std::map<std::string, std::string> values;
        for (const uiext2::ProfileSection& section : sections)
            for (const std::string& entry : section.entries)
            {
                const std::string key = entry.substr(0, entry.find('='));
                char value[4096];
                ::GetPrivateProfileStringA(section.name.c_str(), key.c_str(), "<none>", value, sizeof(value),
                                           path_.c_str());
                values[::CharUpperA(&(section.name + '\n' + key)[0])] = value;
            }
        return values;
    }

    std::string path_;
};

std::string Encoded(const std::string& ansi, int form)
{
    if (form == 0)
        return ansi;
    std::wstring wide(ansi.size() + 1, L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                               &wide[0], static_cast<int>(wide.size()))));
    if (form == 1)
    {
        std::string utf8(wide.size() * 3 + 3, '\0');
        utf8.resize(3 + static_cast<std::size_t>(
                            ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[3],
                                                  static_cast<int>(utf8.size()) - 3, nullptr, nullptr)));
        return utf8.replace(0, 3, "\xEF\xBB\xBF");
    }
    std::string utf16 = "\xFF\xFE";
    for (const wchar_t c : wide)
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return utf16;
}

// A file weighted towards what makes lines odd, with bytes above 0x7F of the code page.
std::string RandomFile(std::mt19937& random, bool doubleByte)
{
    static const char* const kPieces[] = {"[", "]", "=", ";", "#",       " ",   "\t", "\r",  "\n",   "\r\n", "A",
                                          "a", "K", "k", "1", "[A]\r\n", "[a]", "K=", "k =", "\r\n", "\n",   "x"};
    static const char* const kHigh1252[] = {"\xE9", "\xA0", "\x80", "\xFF", "\xC4"};
    static const char* const kHigh932[] = {"\x83\x41", "\x82\xA0", "\x83\x5D", "\x88\x5B", "\xB1", "\x81"};
    std::string file;
    const std::size_t pieces = random() % 40;
    for (std::size_t i = 0; i < pieces; ++i)
    {
        const unsigned pick = random() % 100;
        if (pick < 4)
            file += '\0';
        else if (pick < 16)
            file += doubleByte ? kHigh932[random() % 6] : kHigh1252[random() % 5];
        else
            file += kPieces[random() % (sizeof(kPieces) / sizeof(kPieces[0]))];
    }
    return Encoded(file, random() % 4 == 0 ? 1 : random() % 4 == 0 ? 2 : 0);
}

// Where the model is sure (Wine and Windows are known to read the file alike, and it holds
// nothing either may read otherwise) it must list what Wine lists. Files on which Windows is
// known to differ from Wine (a UTF-8 or UTF-16 BE mark, a section name with two ']' or none)
// or whose reading Windows was never seen to give (NUL, ^Z, a lead byte without its trail
// byte) are counted and skipped: Wine's answer proves nothing about Windows there.
TEST_F(ProfileReader, TheModelAndThePlatformAgreeKeyForKey)
{
    const bool doubleByte = ::GetACP() == 932;
    std::vector<std::string> files = {
        "\xEF\xBB\xBF[Contents]\r\nUnit=1\r\n",
        "\xEF\xBB\xBF; saved by an editor\r\n[Contents]\r\nCompression=5\r\n",
        Encoded("[Contents]\r\nUnit=1\r\nCompression=3\r\n", 2),
        "[Contents]\rUnit=1\r[Authentication]\rAuth=1\r",
        "[Contents]\nUnit=1\r[Authentication]\r\nAuth=1\r",
        "[Contents]x]\r\nUnit=1\r\n[Contents]\r\nUnit=0\r\n",
        "[Contents]\r\n[C\r]\r\nUnit=1\r\n",
        "K=0\r\n [ A ] \r\n;K=1\r\n k = \"2\" \r\nK=3\r\n[a]\r\nK=4\r\n[]\r\nL=1\r\n",
    };
    std::mt19937 random(31);
    for (int i = 0; i < 600; ++i)
        files.push_back(RandomFile(random, doubleByte));

    int compared = 0, skipped = 0, written = 0, refused = 0;
    for (const std::string& file : files)
    {
        Put(file);
        std::vector<uiext2::ProfileSection> model;
        bool sure = false;
        ASSERT_TRUE(uiext2::ListProfile(file, model, sure, &uiext2::SystemCodePage()));
        const std::vector<uiext2::ProfileSection> platform = Listed();
        if (!sure)
        {
            ++skipped;
            continue;
        }
        ++compared;
        ASSERT_EQ(platform.size(), model.size()) << ::testing::PrintToString(file);
        for (std::size_t s = 0; s < model.size(); ++s)
        {
            EXPECT_EQ(platform[s].name, model[s].name) << ::testing::PrintToString(file);
            EXPECT_EQ(platform[s].entries, model[s].entries) << ::testing::PrintToString(file);
        }

        // A key written reads back as meant through the platform's reader, every other as before.
        const uiext2::ProfileWrite write{"a", "K", "written"};
        std::string next;
        const ProfileUpdate update = uiext2::WriteProfileKeys(file, &write, 1, next, &uiext2::SystemCodePage());
        ASSERT_NE(ProfileUpdate::OutOfMemory, update);
        if (update == ProfileUpdate::Unsure)
        {
            ++refused;
            EXPECT_EQ(file, next);
            continue;
        }
        ++written;
        std::map<std::string, std::string> expected = Values(platform);
        expected["A\nK"] = "written";
        Put(next);
        EXPECT_EQ(expected, Values(Listed()))
            << ::testing::PrintToString(file) << " -> " << ::testing::PrintToString(next);
    }
    std::printf("%d files compared, %d skipped; %d written, %d refused\n", compared, skipped, written, refused);
    EXPECT_GT(compared, static_cast<int>(files.size()) / 4);
    EXPECT_GT(written, compared / 2);
}

} // namespace
