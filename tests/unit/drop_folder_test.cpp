// The drop folder's clean-up: every "image.*" entry deleted by its wide name, and nothing else.
#include "scan_fixture.h"

#include "device/own_folder.h"
#include "scan/run_environment.h"
#include "support/unique.h"
#include "unix_side.h"

#include <set>

namespace scan_test
{
namespace
{

std::string DropFolder()
{
    return uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA_COPY";
}

// Every entry's wide name, folders marked with a trailing '\'.
std::set<std::wstring> WideEntries(const std::string& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    uiext2::UniqueFind find(::FindFirstFileW((Wide(folder) + L"\\*").c_str(), &found));
    if (find)
        do
            if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
                names.insert(std::wstring(found.cFileName) +
                             ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
        while (::FindNextFileW(find.get(), &found));
    return names;
}

void Make(const std::string& folder, const std::wstring& name)
{
    const std::wstring path = Wide(folder) + L"\\" + name;
    if (name.back() == L'\\')
        ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
    else
        ASSERT_TRUE(uiext2::UniqueFile(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

class DropFolderCleanUp : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(uiext2_test::UnixShell("rm -rf " + uiext2_test::OnC(DropFolder()))); }
    // From the Unix side: it removes wide names and link entries as themselves.
    void TearDown() override { uiext2_test::UnixShell("rm -rf " + uiext2_test::OnC(DropFolder())); }
};

// Names the system code page cannot hold, or holds only by a best-fit twin ("image.a" for
// "image.<fullwidth a>", here a folder), go by their listed names; the twin and other
// names stay, and a folder left empty is removed.
TEST_F(DropFolderCleanUp, DeletesEveryImageNameAndNothingElse)
{
    const struct
    {
        const char* name;
        std::set<std::wstring> entries, remaining;
    } cases[] = {
        {"only images", {L"image.\u0416\u0416", L"image.\u4E00", L"image.\uFF41", L"IMAGE.Bmp", L"image"}, {}},
        {"images beside others",
         {L"image.\uFF41", L"image.\u0416\u0416", L"image.a\\", L"images.1", L"notes.txt"},
         {L"image.a\\", L"images.1", L"notes.txt"}},
    };
    for (const auto& c : cases)
    {
        uiext2::DeviceFolders folders;
        uiext2::ImageDropFolder drop;
        ASSERT_TRUE(drop.Create(folders)) << c.name;
        for (const std::wstring& entry : c.entries)
            Make(DropFolder(), entry);
        drop.Empty();
        EXPECT_EQ(c.remaining, WideEntries(DropFolder())) << c.name;
        EXPECT_EQ(!c.remaining.empty(), uiext2_test::FolderExists(DropFolder())) << c.name;
        ASSERT_TRUE(uiext2_test::UnixShell("rm -rf " + uiext2_test::OnC(DropFolder())));
    }
}

// Where the volume shows links, the handle's file number is the proof: an entry whose
// number is not the listed one (replaced since it was listed) stays.
TEST_F(DropFolderCleanUp, IdentityProofDeletesOnlyTheListedEntry)
{
    const std::string folder = FreshFolder("listed");
    const struct
    {
        const wchar_t* name;
        LONGLONG shift; // added to the listed number
        bool deleted;
    } cases[] = {{L"image.1", 0, true}, {L"image.2", 1, false}};
    for (const auto& c : cases)
        Make(folder, c.name);
    uiext2::OwnFolder held;
    ASSERT_TRUE(held.OpenRoot(folder.c_str()));
    held.ProveListedByNumber(true);
    held.List(
        [&](const uiext2::ListedEntry& listed)
        {
            for (const auto& c : cases)
                if (std::wstring(listed.name, listed.length) == c.name)
                {
                    uiext2::ListedEntry entry = listed;
                    entry.fileId += c.shift;
                    EXPECT_EQ(c.deleted, held.DeleteListed(entry));
                }
            return true;
        });
    const std::set<std::wstring> remaining = WideEntries(folder);
    for (const auto& c : cases)
        EXPECT_EQ(c.deleted, remaining.count(c.name) == 0) << "row " << &c - cases;
    uiext2_test::RemoveFolder(folder);
}

} // namespace
} // namespace scan_test
