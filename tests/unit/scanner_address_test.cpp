// The scanner address moved out of the imaging-device class key, against the real registry
// and real settings files.
#include "device/settings_store.h"
#include "settings_steps.h"

#include "driver_package.h"
#include "unix_side.h"
#include "support/unique.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace uiext2_test;
using settings_steps::Migrate;
using settings_steps::Provision;

const std::string kLongAddress(64, '7'); // one byte more than the 64-byte buffer holds

class Migration : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.ok());
        ASSERT_TRUE(templates_.ok());
        Provision(device_, "Model");
        ASSERT_TRUE(FileExists(settings_));
    }

    // Registry subkeys of this test; the class key lists them in name order.
    std::string Subkey(const char* suffix) const { return device_ + " " + suffix; }

    std::string Stored(const char* key) const
    {
        std::string value;
        return ReadIni(settings_, "Contents", key, value) ? value : "(absent)";
    }
    std::string StoredAddress() const { return Stored("ScannerAddress"); }

    static std::string Address(const InstalledScanner& scanner)
    {
        std::string value;
        return scanner.ReadAddress(value) ? value : "(absent)";
    }

    const std::string device_ = std::string("uiext2 ") + testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string settings_ = DeviceFolder(device_) + "\\VT_TWAIN1.ini";
    ScopedDeviceFolder folder_{device_};
    InstalledTemplates templates_;
};

TEST_F(Migration, MovesTheAddressOnceAndANewOneLater)
{
    {
        InstalledScanner scanner(Subkey("a"), device_, "192.168.0.17");
        ASSERT_TRUE(scanner.ok());
        Migrate(device_);
        EXPECT_EQ("192.168.0.17", StoredAddress());
        EXPECT_EQ("(absent)", Address(scanner));

        // A second binding finds nothing to move and leaves the file alone.
        Migrate(device_);
        EXPECT_EQ("192.168.0.17", StoredAddress());
        EXPECT_EQ("3", Stored("Compression")); // the rest of the file stays
    }
    InstalledScanner reinstalled(Subkey("a"), device_, "10.0.0.2");
    ASSERT_TRUE(reinstalled.ok());
    Migrate(device_);
    EXPECT_EQ("10.0.0.2", StoredAddress());
    EXPECT_EQ("(absent)", Address(reinstalled));
}

// Two subkeys, "a" enumerated before "b": only the first whose FriendlyName equals the
// device name byte for byte counts, whatever it holds.
TEST_F(Migration, TheFirstMatchingSubkeyDecides)
{
    enum class Name
    {
        Exact,
        OtherCase, // differs only in letter case
        Longer,    // the device name and more
        Shorter,   // the device name less its last byte
    };
    struct Key
    {
        Name name;
        bool deviceData;
        const char* address; // nullptr: no ScannerAddress value
    };
    struct Case
    {
        const char* what;
        Key a;
        Key b;
        const char* stored; // what the settings file holds afterwards
        const char* aAfter; // the subkeys' values afterwards
        const char* bAfter;
    };
    const Case cases[] = {
        {"both match", {Name::Exact, true, "A"}, {Name::Exact, true, "B"}, "A", "(absent)", "B"},
        {"no value stops", {Name::Exact, true, nullptr}, {Name::Exact, true, "B"}, "(absent)", "(absent)", "B"},
        {"empty value stops", {Name::Exact, true, ""}, {Name::Exact, true, "B"}, "(absent)", "", "B"},
        {"no DeviceData stops", {Name::Exact, false, nullptr}, {Name::Exact, true, "B"}, "(absent)", "(absent)", "B"},
        {"too long stops",
         {Name::Exact, true, kLongAddress.c_str()},
         {Name::Exact, true, "B"},
         "(absent)",
         kLongAddress.c_str(),
         "B"},
        {"case differs", {Name::OtherCase, true, "A"}, {Name::Exact, true, "B"}, "B", "A", "(absent)"},
        {"longer name", {Name::Longer, true, "A"}, {Name::Exact, true, "B"}, "B", "A", "(absent)"},
        {"shorter name", {Name::Shorter, true, "A"}, {Name::Exact, true, "B"}, "B", "A", "(absent)"},
        {"none matches", {Name::OtherCase, true, "A"}, {Name::Longer, true, "B"}, "(absent)", "A", "B"},
    };

    auto friendlyName = [this](Name name)
    {
        std::string text = device_;
        switch (name)
        {
        case Name::Exact:
            break;
        case Name::OtherCase:
            for (char& c : text)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            break;
        case Name::Longer:
            text += "2";
            break;
        case Name::Shorter:
            text.pop_back();
            break;
        }
        return text;
    };

    for (const Case& row : cases)
    {
        ::WritePrivateProfileStringA("Contents", "ScannerAddress", nullptr, settings_.c_str());
        InstalledScanner a(Subkey("a"), friendlyName(row.a.name), row.a.address, row.a.deviceData);
        InstalledScanner b(Subkey("b"), friendlyName(row.b.name), row.b.address, row.b.deviceData);
        ASSERT_TRUE(a.ok() && b.ok()) << row.what;

        Migrate(device_);

        EXPECT_EQ(row.stored, StoredAddress()) << row.what;
        EXPECT_EQ(row.aAfter, Address(a)) << row.what;
        EXPECT_EQ(row.bAfter, Address(b)) << row.what;
    }
}

// The address leaves the registry only once the settings file holds it: a folder where the
// file should be fails the write (a holder or a read-only file is the store's table, in
// own_folder_test); once it is gone, the next binding moves the address.
TEST_F(Migration, AFailedWriteKeepsTheAddress)
{
    InstalledScanner scanner(Subkey("a"), device_, "192.168.0.17");
    ASSERT_TRUE(scanner.ok());
    ASSERT_TRUE(::DeleteFileA(settings_.c_str()));
    ASSERT_TRUE(::CreateDirectoryA(settings_.c_str(), nullptr));
    Migrate(device_);
    EXPECT_EQ("192.168.0.17", Address(scanner));
    ASSERT_TRUE(::RemoveDirectoryA(settings_.c_str()));

    Migrate(device_);
    EXPECT_EQ("192.168.0.17", StoredAddress());
    EXPECT_EQ("(absent)", Address(scanner));
}

// A name that is not one safe folder name is never matched: its address stays put, and
// nothing is written through a path it would have made.
TEST(MigrationOfRefusedNames, MovesNothing)
{
    const char* const refused[] = {"..", "CON", "uiext2 refused\\x", "uiext2 refused.", "C:"};
    int index = 0;
    for (const char* name : refused)
    {
        InstalledScanner scanner("uiext2 refused " + std::to_string(index++), name, "192.168.0.17");
        ASSERT_TRUE(scanner.ok()) << name;
        Migrate(name);
        std::string address;
        EXPECT_TRUE(scanner.ReadAddress(address)) << name;
        EXPECT_EQ("192.168.0.17", address) << name;
    }
}

} // namespace

namespace
{

// The folder's entry names, sorted, each followed by ';'.
std::string SortedNames(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return "";
    do
    {
        if (found.cFileName[0] != '.')
            names.push_back(found.cFileName);
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    std::string all;
    for (const auto& name : names)
        all += name + ";";
    return all;
}

// A settings file that exists but cannot be read as this device's own is never replaced by
// one that holds only the address: the file keeps every byte, the address stays in the
// registry for a later binding.
TEST_F(Migration, AnUnreadableSettingsFileKeepsTheAddressAndEveryKey)
{
    const std::string elsewhere = CommonDocumentsFolder() + "\\uiext2 migration second name.ini";
    const struct
    {
        const char* name;
        std::string plant, undo;
    } rows[] = {
        {"second name", "ln -f " + OnC(settings_) + " " + OnC(elsewhere), "rm -f " + OnC(elsewhere)},
        {"over 16 MiB", "head -c 16777300 /dev/zero | tr '\\0' ';' >> " + OnC(settings_), ":"},
    };
    for (const auto& row : rows)
    {
        InstalledScanner scanner(Subkey("a"), device_, "192.168.0.17");
        ASSERT_TRUE(scanner.ok());
        ASSERT_TRUE(WriteFileText(settings_, "[Contents]\r\nUnit=1\r\n[Authentication]\r\nPassword=kept\r\n"));
        ASSERT_TRUE(UnixShell(row.plant)) << row.name;
        const std::string before = FileText(settings_);
        Migrate(device_);
        EXPECT_EQ("192.168.0.17", Address(scanner)) << row.name;
        EXPECT_TRUE(before == FileText(settings_)) << row.name;
        ASSERT_TRUE(UnixShell(row.undo)) << row.name;
    }
}

// A file saved with a UTF-8 mark: the address moves only where Windows' reader, which reads
// the mark as ANSI, finds the section too, and the file keeps its mark and line ends.
TEST_F(Migration, AFileWithAUtf8MarkGetsTheAddressOnlyWhereEveryReaderFindsIt)
{
    const struct
    {
        const char* file;
        const char* moved; // the file afterwards; null: unchanged, the address kept
    } rows[] = {
        {"\xEF\xBB\xBF[Contents]\rUnit=1\r", nullptr},
        {"\xEF\xBB\xBF; caf\xC3\xA9\r[Contents]\rUnit=1\r",
         "\xEF\xBB\xBF; caf\xC3\xA9\r[Contents]\rUnit=1\rScannerAddress=192.168.0.17\r"},
    };
    for (const auto& row : rows)
    {
        InstalledScanner scanner(Subkey("a"), device_, "192.168.0.17");
        ASSERT_TRUE(scanner.ok());
        ASSERT_TRUE(WriteFileText(settings_, row.file));
        Migrate(device_);
        EXPECT_EQ(row.moved ? "(absent)" : "192.168.0.17", Address(scanner)) << row.file;
        EXPECT_EQ(row.moved ? row.moved : row.file, FileText(settings_));
    }
}

// Two hosts binding one new device at the same moment: neither copies a template over a file
// the other has put in place, so the address the first moved out of the registry stays in
// the one settings file, beside one set of files. A file already there is never overwritten.
TEST(ProvisioningAtOnce, EndsWithOneSetOfFilesAndTheAddressKept)
{
    InstalledTemplates templates;
    ASSERT_TRUE(templates.ok());
    for (int round = 0; round < 6; ++round)
    {
        const std::string device = "uiext2 at once " + std::to_string(round);
        ScopedDeviceFolder folder(device);
        ASSERT_TRUE(folder.ok());
        const std::string list = DeviceFolder(device) + "\\RegList.ini";
        if (round == 0) // the scanner list already there, the settings file not yet
        {
            ASSERT_TRUE(::CreateDirectoryA(DeviceFolder(device).c_str(), nullptr));
            ASSERT_TRUE(WriteFileText(list, "[Scanner1]\r\nModel=theirs\r\n"));
        }
        InstalledScanner scanner(device + " key", device, "192.168.0.42");
        ASSERT_TRUE(scanner.ok());
        const auto bind = [&device]
        {
            Provision(device, "Model");
            Migrate(device);
        };
        std::thread other(bind);
        bind();
        other.join();
        std::string address;
        EXPECT_TRUE(ReadIni(DeviceFolder(device) + "\\VT_TWAIN1.ini", "Contents", "ScannerAddress", address) &&
                    address == "192.168.0.42")
            << round;
        EXPECT_FALSE(scanner.ReadAddress(address)) << round;
        EXPECT_EQ("RegList.ini;VTTwainPageLog.ini;VT_TWAIN1.ini;", SortedNames(DeviceFolder(device))) << round;
        if (round == 0)
        {
            EXPECT_EQ("[Scanner1]\r\nModel=theirs\r\n", FileText(list));
        }
    }
}

} // namespace
