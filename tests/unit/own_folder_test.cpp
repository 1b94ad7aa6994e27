// The held folder against what another local user plants at a name of ours: a link (to a
// file, to a folder, to a sibling spelled otherwise), a second name, a read-only file and
// programs holding the file open, under each operation that reaches a file through the folder.
#include "device/own_folder.h"

#include "driver_package.h"
#include "holder.h"
#include "unix_side.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace
{

using namespace uiext2_test;

// What stands at the name afterwards.
enum class Remains
{
    Kept, // the entry as planted, and whatever it leads to, unchanged
    Ours, // a file holding the new bytes
    Gone,
    NewFolder, // an empty folder of ours
    // A link entry the operation deletes or opens as a folder: where the platform opens a
    // link entry as itself (Windows) the link goes (and for a folder an empty one is made);
    // Wine opens the target even so, and then the entry is refused and stays.
    LinkGoes,
};

struct Outcome
{
    DWORD error;
    Remains remains;
};

enum Operation
{
    kRead,
    kUpdate,
    kPlace,
    kReplace,
    kDelete,
    kDeleteListed,
    kOpenFolder,
    kOperations
};
const char* const kOperationNames[kOperations] = {"read",   "update",        "place new",     "replace",
                                                  "delete", "listed delete", "open as folder"};

constexpr DWORD kNo = ~DWORD{0}; // DeleteListed and Open answer only yes or no
constexpr DWORD kNoHolder = ~DWORD{0};
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kHoldMs = 700; // a holder lets go well within kRetryMs
const char kTheirs[] = "[Victim]\nFile=theirs\n";
const char kMine[] = "[Contents]\nUnit=1\n";
const char kNew[] = "[Contents]\nUnit=2\n";

class Overwrite final : public uiext2::FileChange
{
public:
    DWORD Compute(const uiext2::FileBytes*, std::string& next, bool& write) noexcept override
    {
        next = kNew;
        write = true;
        return ERROR_SUCCESS;
    }
};

// Runs one operation on "Entry.ini" of `folder` as ERROR_SUCCESS or the error it gives.
DWORD Perform(Operation operation, const uiext2::OwnFolder& folder)
{
    uiext2::FileBytes bytes;
    Overwrite change;
    bytes.Assign(kNew, sizeof(kNew) - 1);
    switch (operation)
    {
    case kRead:
        return folder.Read("Entry.ini", bytes);
    case kUpdate:
        return folder.Update("Entry.ini", nullptr, change);
    case kPlace:
        return folder.PlaceNew("Entry.ini", bytes, nullptr);
    case kReplace:
        return folder.Replace("Entry.ini", bytes);
    case kDelete:
        return folder.Delete("Entry.ini");
    case kOpenFolder:
        return uiext2::OwnFolder().Open(folder, "Entry.ini", true) ? ERROR_SUCCESS : kNo;
    default:
        break;
    }
    DWORD result = kNo;
    folder.List(
        [&](const uiext2::ListedEntry& entry)
        {
            if (std::wstring(entry.name, entry.length) == L"Entry.ini" && folder.DeleteListed(entry))
                result = ERROR_SUCCESS;
            return true;
        });
    return result;
}

// The entry spelled exactly so: "gone", "folder", "victim's folder" or the file's bytes.
std::string State(const std::string& path)
{
    WIN32_FIND_DATAA found;
    const uiext2::UniqueFind find(::FindFirstFileA(path.c_str(), &found));
    if (!find || path.compare(path.size() - std::strlen(found.cFileName), std::string::npos, found.cFileName) != 0)
        return "gone";
    if (FolderExists(path))
        return FileExists(path + "\\theirs.ini") ? "victim's folder" : "folder";
    return FileText(path);
}

// Each planted thing at "Entry.ini" of a folder of its own per operation
// (<documents>\uiext2 own folder\<operation>), beside the victim's folder it may lead to.
TEST(OwnFolder, PlantedEntriesAreNeverReadWrittenOrDeletedThrough)
{
    const std::string table = CommonDocumentsFolder() + "\\uiext2 own folder";
    const Outcome notOurs = {uiext2::kErrorNotOurs, Remains::Kept}, kept = {ERROR_SUCCESS, Remains::Kept},
                  ours = {ERROR_SUCCESS, Remains::Ours}, gone = {ERROR_SUCCESS, Remains::Gone},
                  linkGoes = {ERROR_SUCCESS, Remains::LinkGoes}, inUse = {ERROR_SHARING_VIOLATION, Remains::Kept},
                  stays = {kNo, Remains::Kept}, denied = {ERROR_ACCESS_DENIED, Remains::Kept};
    const std::string mine = std::string("printf '") + kMine + "' > Entry.ini";
    const struct
    {
        const char* name;
        std::string plant; // in each operation's folder, from the Unix side
        const char* kept;  // what the planted entry reads as
        DWORD holderShare; // a reader holds the entry so shared for kHoldMs
        Outcome outcomes[kOperations];
    } rows[] = {
        // Outcomes in the order of kOperationNames. Where Wine and Windows reach one outcome by
        // different roads: a read-only file (to Wine, one without write permission) is replaced
        // by the rename that ignores the attribute on Windows 10 1809 and later, by the classic
        // rename under Wine; the classic rename (Wine, older Windows) waits for a holder sharing
        // deletion to let go, the POSIX one does not; a file deleted while held so loses its name
        // at once with POSIX deletion, else when the holder lets go, and is looked at after that.
        // A folder, link or not, is never replaced by a file.
        {"Unix link to a file",
         "ln -s victim/theirs.ini Entry.ini",
         kTheirs,
         kNoHolder,
         {notOurs, notOurs, notOurs, ours, linkGoes, linkGoes, linkGoes}},
        {"Unix link to a folder",
         "ln -s victim/inner Entry.ini",
         "victim's folder",
         kNoHolder,
         {notOurs, notOurs, notOurs, denied, notOurs, stays, linkGoes}},
        {"a case twin: a link to a sibling spelled otherwise",
         std::string("printf '") + kTheirs + "' > ENTRY.ini && ln -s ENTRY.ini Entry.ini",
         kTheirs,
         kNoHolder,
         {notOurs, notOurs, notOurs, ours, linkGoes, linkGoes, linkGoes}},
        {"a second name of a victim's file",
         "ln victim/theirs.ini Entry.ini",
         kTheirs,
         kNoHolder,
         {notOurs, notOurs, notOurs, ours, gone, gone, stays}},
        {"read-only",
         mine + " && chmod a-w Entry.ini",
         kMine,
         kNoHolder,
         {kept, ours, kept, ours, denied, stays, stays}},
        {"a holder sharing deletion", mine, kMine, kShareAll, {kept, ours, kept, ours, gone, gone, stays}},
        {"a holder not sharing", mine, kMine, 0, {inUse, ours, kept, ours, inUse, stays, stays}},
    };
    uiext2::OwnFolder root;
    ASSERT_TRUE(root.OpenRoot(CommonDocumentsFolder().c_str()));
    for (const auto& row : rows)
    {
        ASSERT_TRUE(UnixShell("rm -rf " + OnC(table) + " && mkdir " + OnC(table) + " && cd " + OnC(table) +
                              " && for op in 0 1 2 3 4 5 6; do (mkdir -p $op/victim/inner && cd $op && printf '" +
                              kTheirs + "' | tee victim/theirs.ini > victim/inner/theirs.ini && " + row.plant +
                              "); done"))
            << row.name;
        uiext2::OwnFolder held;
        ASSERT_TRUE(held.Open(root, "uiext2 own folder", false)) << row.name;
        for (int operation = 0; operation < kOperations; ++operation)
        {
            SCOPED_TRACE(std::string(row.name) + ", " + kOperationNames[operation]);
            const std::string folder = table + "\\" + std::to_string(operation);
            const std::string entry = folder + "\\Entry.ini", victim = folder + "\\victim";
            const std::string victimBefore = Snapshot(victim) + Snapshot(victim + "\\inner");
            ASSERT_EQ(kTheirs, FileText(victim + "\\theirs.ini"));
            ASSERT_EQ(row.kept, State(entry));
            // Whether a handle opened on the entry itself is the link (Windows). Under Wine it is
            // what the link leads to, though Wine lists a link to a folder as a reparse point.
            uiext2::UniqueFile probe(::CreateFileA(entry.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                                   OPEN_EXISTING,
                                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            FILE_ATTRIBUTE_TAG_INFO tag = {};
            const bool linkShown =
                probe && ::GetFileInformationByHandleEx(probe.get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
                (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            probe.reset();
            HANDLE holder = row.holderShare == kNoHolder
                                ? INVALID_HANDLE_VALUE
                                : ::CreateFileA(entry.c_str(), GENERIC_READ, row.holderShare, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_EQ(row.holderShare == kNoHolder, holder == INVALID_HANDLE_VALUE);
            LetsGoAfter letGo(holder, kHoldMs);
            uiext2::OwnFolder in;
            const DWORD error = in.Open(held, std::to_string(operation).c_str(), false)
                                    ? Perform(static_cast<Operation>(operation), in)
                                    : ERROR_PATH_NOT_FOUND;
            letGo.Join();

            Outcome want = row.outcomes[operation];
            if (want.remains == Remains::LinkGoes)
                want = linkShown ? Outcome{ERROR_SUCCESS, operation == kOpenFolder ? Remains::NewFolder : Remains::Gone}
                       : operation == kDelete ? notOurs
                                              : stays;
            EXPECT_EQ(want.error, error);
            const char* const states[] = {row.kept, kNew, "gone", "folder"};
            EXPECT_EQ(states[static_cast<int>(want.remains)], State(entry));
            EXPECT_EQ(victimBefore, Snapshot(victim) + Snapshot(victim + "\\inner"));
            EXPECT_EQ(kTheirs, FileText(victim + "\\theirs.ini"));
            if (row.plant.find("ENTRY.ini") != std::string::npos)
            {
                EXPECT_EQ(kTheirs, FileText(folder + "\\ENTRY.ini")) << "the twin";
            }
        }
    }
    UnixShell("rm -rf " + OnC(table));
}

// A read-only file of ours is saved by each rename our users' Windows have, and the new file
// is read-only too; a save that fails (the file held, not sharing deletion, past the retries)
// leaves the old one read-only. The faults: the older renames' denial of a read-only target
// taken as final, the attribute lost on the new file, or left cleared on the old one. Wine 10
// refuses a read-only target as Windows does (the ARM64 lane); Wine 8 replaces it whatever the form.
TEST(OwnFolder, AReadOnlyFileIsSavedByEveryRenameAndStaysReadOnly)
{
    using uiext2::RenameForm;
    const std::pair<RenameForm, bool> rows[] = {{RenameForm::IgnoringReadOnly, false},
                                                {RenameForm::Posix, false},
                                                {RenameForm::Classic, false},
                                                {RenameForm::Posix, true},
                                                {RenameForm::Classic, true}};
    struct Newest
    {
        ~Newest() { uiext2::StartRenamesAt(RenameForm::IgnoringReadOnly); }
    } putBack;
    const std::string folder = CommonDocumentsFolder() + "\\uiext2 read-only", entry = folder + "\\Entry.ini";
    uiext2::OwnFolder root, held;
    ASSERT_TRUE(root.OpenRoot(CommonDocumentsFolder().c_str()) && held.Open(root, "uiext2 read-only", true));
    for (const auto& [newest, holding] : rows)
    {
        SCOPED_TRACE(std::to_string(static_cast<int>(newest)) + (holding ? ", held" : ""));
        ::SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteFileText(entry, kMine) && ::SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_READONLY));
        uiext2::UniqueFile holder(holding
                                      ? ::CreateFileA(entry.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                      : INVALID_HANDLE_VALUE);
        ASSERT_EQ(holding, static_cast<bool>(holder));
        uiext2::StartRenamesAt(newest);
        Overwrite change;
        EXPECT_EQ(holding ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS, held.Update("Entry.ini", nullptr, change));
        holder.reset();
        EXPECT_EQ(holding ? kMine : kNew, FileText(entry));
        EXPECT_TRUE(::GetFileAttributesA(entry.c_str()) & FILE_ATTRIBUTE_READONLY);
    }
    ::SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
    UnixShell("rm -rf " + OnC(folder));
}

} // namespace
