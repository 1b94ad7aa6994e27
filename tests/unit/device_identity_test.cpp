// The scanner's identity as binding reads it from hostile and broken simulated drivers:
// the version text, the model name, and device names that must never become a path.
#include "binding_fixture.h"

#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace binding_test;
using fakes::FakeDataObject;
using fakes::FakeItem;

// How a test breaks one identity property of the simulated root.
enum class Fault
{
    None,
    Missing,
    Number,
    NullString,
};

void Apply(FakeItem& root, PROPID id, Fault fault, const std::wstring& text)
{
    switch (fault)
    {
    case Fault::None:
        root.SetString(id, text);
        break;
    case Fault::Missing:
        root.Remove(id);
        break;
    case Fault::Number:
        root.SetNumber(id, 42);
        break;
    case Fault::NullString:
        root.SetNullString(id);
        break;
    }
}

TEST_F(BindingTest, VersionTextHoldsTheWholeFirmwareVersionOrNone)
{
    const std::string v31(31, '7');
    struct Case
    {
        const char* label;
        Fault fault;
        std::string firmware;
        std::string expected;
    };
    const Case cases[] = {
        {"short", Fault::None, "1.02.003", "Version 1.02.003"},
        {"31 bytes, the most that fits", Fault::None, v31, "Version " + v31},
        {"32 bytes, not cut short", Fault::None, v31 + "8", "Version "},
        {"missing", Fault::Missing, "", "Version "},
        {"a number", Fault::Number, "", "Version "},
        {"a null string", Fault::NullString, "", "Version "},
    };
    const std::string device = DeviceName();
    uiext2_test::ScopedDeviceFolder folder(device);
    fakes::ScannerSetup setup;
    setup.deviceName = Wide(device);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        fakes::Scanner scanner = fakes::MakeScanner(setup);
        Apply(*scanner.root.Get(), wia2::DpaFirmwareVersion, c.fault, Wide(c.firmware));
        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_EQ(S_OK, Bind(init.Get(), FakeDataObject::ForItem(scanner.root.Get()).Get()));
        EXPECT_EQ(c.expected, DeviceTexts::Of(init.Get()).versionText);
    }
    EXPECT_EQ(39u, std::string("Version " + v31).size()); // the table's longest row: 39 + terminator = 40
}

TEST_F(BindingTest, ModelNameIsWrittenWholeOrEmpty)
{
    const std::string m63(63, 'M');
    struct Case
    {
        const char* label;
        Fault fault;
        std::string model;
        std::string expected;
    };
    const Case cases[] = {
        {"short", Fault::None, "TS-100", "TS-100"},
        {"63 bytes, the most that fits", Fault::None, m63, m63},
        {"64 bytes, not cut short", Fault::None, m63 + "N", ""},
        {"missing", Fault::Missing, "", ""},
        {"a number", Fault::Number, "", ""},
    };
    int row = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        const std::string device = DeviceName(("-" + std::to_string(++row)).c_str());
        uiext2_test::ScopedDeviceFolder folder(device); // a first sight each: provisioning writes Model
        fakes::ScannerSetup setup;
        setup.deviceName = Wide(device);
        fakes::Scanner scanner = fakes::MakeScanner(setup);
        Apply(*scanner.root.Get(), wia2::ModelNameProp, c.fault, Wide(c.model));
        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_EQ(S_OK, Bind(init.Get(), FakeDataObject::ForItem(scanner.root.Get()).Get()));
        std::string model;
        EXPECT_TRUE(
            uiext2_test::ReadIni(uiext2_test::DeviceFolder(device) + "\\RegList.ini", "Scanner1", "Model", model));
        EXPECT_EQ(c.expected, model);
    }
}

// Names that are one safe folder name bind, and name the folder byte for byte.
TEST_F(BindingTest, DeviceNamesThatAreOneFolderNameBind)
{
    const std::string base = DeviceName();
    const std::vector<std::string> names = {
        base + " (Ofc) #2; A&B,%s+=[]~'",          // nothing here may act as a format
        base + std::string(67 - base.size(), 'x'), // 67 bytes: the most that fits
    };
    for (const std::string& device : names)
    {
        SCOPED_TRACE(device);
        uiext2_test::ScopedDeviceFolder folder(device);
        fakes::ScannerSetup setup;
        setup.deviceName = Wide(device);
        fakes::Scanner scanner = fakes::MakeScanner(setup);
        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_EQ(S_OK, Bind(init.Get(), FakeDataObject::ForItem(scanner.root.Get()).Get()));
        EXPECT_EQ(uiext2_test::DeviceFolder(device) + "\\VT_TWAIN1.ini", DeviceTexts::Of(init.Get()).settingsFile);
        EXPECT_TRUE(uiext2_test::FileExists(uiext2_test::DeviceFolder(device) + "\\VT_TWAIN1.ini"));
    }
}

// An identity that cannot name a folder fails the binding with a clear result; then no
// settings work is done: DeviceFiles and VersionText stay, no file is written where the
// name would point, and a scanner address in the registry stays there.
TEST_F(BindingTest, UnusableIdentityFailsWithoutSettingsWork)
{
    const HRESULT invalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    const HRESULT invalidName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    const HRESULT tooLong = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    struct Case
    {
        const char* label;
        std::wstring deviceName;
        Fault fault;
        HRESULT expected;
        const char* pointsAt; // where the name would put the device folder, or null
    };
    const Case cases[] = {
        {"missing", L"", Fault::Missing, invalidData, nullptr},
        {"a number", L"", Fault::Number, invalidData, nullptr},
        {"68 bytes", std::wstring(68, L'x'), Fault::None, tooLong, nullptr},
        {"a null string", L"", Fault::NullString, invalidName, nullptr},
        {"empty", L"", Fault::None, invalidName, nullptr},
        {"dot", L".", Fault::None, invalidName, "."},
        {"dot dot", L"..", Fault::None, invalidName, ".."},
        {"climbing out", L"..\\..\\uiext2 escaped", Fault::None, invalidName, "..\\..\\uiext2 escaped"},
        {"slash", L"uiext2 a/b", Fault::None, invalidName, "uiext2 a/b"},
        {"drive", L"C:", Fault::None, invalidName, nullptr},
        {"drive path", L"C:\\uiext2 escaped", Fault::None, invalidName, nullptr},
        {"forbidden characters", L"uiext2 a*b?c\"d<e>f|g", Fault::None, invalidName, nullptr},
        {"control character", L"uiext2 a\tb", Fault::None, invalidName, nullptr},
        {"trailing dot", L"uiext2 scanner.", Fault::None, invalidName, "uiext2 scanner."},
        {"reserved device name", L"CON", Fault::None, invalidName, nullptr},
        {"no ANSI form", L"uiext2 \U0001F5A8", Fault::None, invalidName, nullptr}, // converts to '?'
    };

    // A good binding first, so that "unchanged" means something; each failing binding is
    // made on that same object.
    const std::string good = DeviceName();
    uiext2_test::ScopedDeviceFolder goodFolder(good);
    fakes::ScannerSetup setup;
    setup.deviceName = Wide(good);
    fakes::Scanner goodScanner = fakes::MakeScanner(setup);
    ComPtr<IShellExtInit> goodInit = NewExtension();
    ASSERT_EQ(S_OK, Bind(goodInit.Get(), FakeDataObject::ForItem(goodScanner.root.Get()).Get()));
    const DeviceTexts before = DeviceTexts::Of(goodInit.Get());

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        std::unique_ptr<uiext2_test::InstalledScanner> installed;
        if (c.pointsAt)
        {
            installed.reset(new uiext2_test::InstalledScanner("9802", c.pointsAt, "192.0.2.99"));
            ASSERT_TRUE(installed->ok());
        }
        fakes::Scanner scanner = fakes::MakeScanner();
        Apply(*scanner.root.Get(), wia2::DeviceNameProp, c.fault, c.deviceName);
        const ComPtr<IShellExtInit>& init = goodInit;

        EXPECT_EQ(c.expected, Bind(init.Get(), FakeDataObject::ForItem(scanner.root.Get()).Get()));
        EXPECT_EQ(static_cast<IWiaItem2*>(scanner.root.Get()), BoundRoot(init.Get()));
        EXPECT_TRUE(before == DeviceTexts::Of(init.Get())) << "now " << DeviceTexts::Of(init.Get()).settingsFile;
        if (c.pointsAt)
        {
            EXPECT_FALSE(uiext2_test::FileExists(uiext2_test::DeviceFolder(c.pointsAt) + "\\VT_TWAIN1.ini"));
            std::string address;
            EXPECT_TRUE(installed->ReadAddress(address));
        }
    }

    // The storage itself missing or failing.
    struct StorageCase
    {
        const char* label;
        bool answers;
        HRESULT readResult;
        HRESULT expected;
    };
    const StorageCase storageCases[] = {
        {"no property storage", false, S_OK, E_NOINTERFACE},
        {"ReadMultiple failing", true, STG_E_ACCESSDENIED, STG_E_ACCESSDENIED},
    };
    for (const StorageCase& c : storageCases)
    {
        SCOPED_TRACE(c.label);
        fakes::Scanner scanner = fakes::MakeScanner();
        scanner.root->answersPropertyStorage = c.answers;
        scanner.root->readMultipleResult = c.readResult;
        const ComPtr<IShellExtInit>& init = goodInit;
        EXPECT_EQ(c.expected, Bind(init.Get(), FakeDataObject::ForItem(scanner.root.Get()).Get()));
        EXPECT_TRUE(before == DeviceTexts::Of(init.Get()));
    }
}

} // namespace
