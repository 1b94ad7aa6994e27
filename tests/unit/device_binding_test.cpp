// IShellExtInit::Initialize against the simulated scanner: the two roads to the root item,
// the "WIAItemNames" list, the root check, the settings-store calls and the lifetime of
// the bound item.
#include "binding_fixture.h"

#include <wiadef.h>

#include <string>
#include <vector>

namespace
{

using namespace binding_test;
using fakes::FakeDataObject;
using fakes::FakeDeviceManager;

const wchar_t kDeviceId[] = L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001";

TEST_F(BindingTest, DataObjectThatIsTheRootBindsAndPreparesTheDevice)
{
    const std::string device = DeviceName();
    uiext2_test::ScopedDeviceFolder folder(device);
    uiext2_test::InstalledScanner installed("9801", device, "192.0.2.17");
    ASSERT_TRUE(installed.ok());
    fakes::ScannerSetup setup;
    setup.deviceName = Wide(device);
    setup.modelName = L"DS-1";
    setup.firmwareVersion = L"2.10";
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    ComPtr<FakeDeviceManager> manager = FakeDeviceManager::Make();
    fakes::DeviceManagerRegistration registration;
    ASSERT_EQ(S_OK, registration.Register(manager.Get()));
    ComPtr<FakeDataObject> data = FakeDataObject::ForItem(scanner.root.Get());

    ComPtr<IShellExtInit> init = NewExtension();
    ASSERT_EQ(S_OK, Bind(init.Get(), data.Get()));

    EXPECT_EQ(static_cast<IWiaItem2*>(scanner.root.Get()), BoundRoot(init.Get()));
    EXPECT_EQ(0u, data->getDataCalls) << "the item itself needs no clipboard data";
    EXPECT_EQ(0u, registration.InstancesCreated()) << "nor the device manager";
    const std::vector<std::string> expectedCalls = {"GetItemType", "QueryInterface IWiaPropertyStorage",
                                                    "ReadMultiple 71684 1026 71686 4099"};
    EXPECT_EQ(expectedCalls, scanner.root->calls);

    const DeviceTexts bound = DeviceTexts::Of(init.Get());
    EXPECT_EQ("Version 2.10", bound.versionText);
    const std::string folderPath = uiext2_test::DeviceFolder(device);
    EXPECT_EQ(folderPath + "\\VT_TWAIN1.ini", bound.settingsFile);
    EXPECT_EQ(folderPath + "\\RegList.ini", bound.scannerListFile);
    EXPECT_EQ(folderPath + "\\VTTwainPageLog.ini", bound.pageLogFile);

    // Provisioned from the templates, then the address moved in: in the other order the
    // template copy would have overwritten the address.
    std::string value;
    EXPECT_TRUE(uiext2_test::ReadIni(folderPath + "\\RegList.ini", "Scanner1", "Model", value));
    EXPECT_EQ("DS-1", value);
    EXPECT_TRUE(uiext2_test::ReadIni(folderPath + "\\VT_TWAIN1.ini", "Template", "File", value));
    EXPECT_TRUE(uiext2_test::ReadIni(folderPath + "\\VT_TWAIN1.ini", "Contents", "ScannerAddress", value));
    EXPECT_EQ("192.0.2.17", value);
    EXPECT_FALSE(installed.ReadAddress(value)) << "the registry value moves, it is not copied";

    data.Reset();
    EXPECT_EQ(2u, scanner.root->RefCount()) << "the object holds its root item";
    init.Reset();
    EXPECT_EQ(1u, scanner.root->RefCount()) << "the destroyed object must release its root item";
}

// The road through the device manager: which lists bind, which device ID is opened.
TEST_F(BindingTest, ItemNamesOpenTheOneDeviceIdThroughTheDeviceManager)
{
    struct Case
    {
        const char* label;
        std::vector<std::wstring> names;
        HRESULT expected;
        const wchar_t* opened; // the ID CreateDevice is asked for; null: not called
        bool keepsMedium;
    };
    const Case cases[] = {
        {"one device ID", {kDeviceId}, S_OK, kDeviceId, true},
        {"memory handed to the caller", {kDeviceId}, S_OK, kDeviceId, false},
        {"leading and trailing colons", {L"::id::"}, S_OK, L"id", true},
        {"colon between two parts", {L"a:b"}, E_FAIL, nullptr, true},
        {"only colons", {L":::"}, E_FAIL, nullptr, true},
        {"empty list", {}, E_FAIL, nullptr, true},
        {"two names", {L"id", L"id"}, E_FAIL, nullptr, true},
        {"unknown device", {L"other"}, WIA_S_NO_DEVICE_AVAILABLE, L"other", true},
    };

    const std::string device = DeviceName();
    uiext2_test::ScopedDeviceFolder folder(device);
    fakes::ScannerSetup setup;
    setup.deviceName = Wide(device);
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        ComPtr<FakeDeviceManager> manager = FakeDeviceManager::Make();
        manager->AddDevice(kDeviceId, scanner.root.Get());
        manager->AddDevice(L"id", scanner.root.Get());
        fakes::DeviceManagerRegistration registration;
        ASSERT_EQ(S_OK, registration.Register(manager.Get()));
        ComPtr<FakeDataObject> data = FakeDataObject::WithItemNames(c.names);
        data->keepsMedium = c.keepsMedium;

        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_EQ(c.expected, Bind(init.Get(), data.Get()));

        EXPECT_EQ(1u, data->getDataCalls);
        EXPECT_EQ(1u, data->RefCount()) << "the storage medium must be released";
        const std::vector<std::wstring> opened =
            c.opened ? std::vector<std::wstring>{c.opened} : std::vector<std::wstring>{};
        EXPECT_EQ(opened, manager->requestedIds);
        if (c.opened)
        {
            EXPECT_EQ(std::vector<LONG>{0}, manager->requestedFlags);
        }
        IWiaItem2* const expectedRoot = SUCCEEDED(c.expected) ? scanner.root.Get() : nullptr;
        EXPECT_EQ(expectedRoot, BoundRoot(init.Get()));
        init.Reset();
        registration.Revoke();
        EXPECT_EQ(1u, manager->RefCount()) << "the device manager must be released";
        manager.Reset();
        EXPECT_EQ(1u, scanner.root->RefCount());
    }
}

TEST_F(BindingTest, DataWithoutAWellFormedListFails)
{
    const std::vector<wchar_t> unterminatedList = {L'i', L'd', L'\0'}; // no closing empty string
    const std::vector<wchar_t> unterminatedName = {L'i', L'd'};
    struct Case
    {
        const char* label;
        ComPtr<FakeDataObject> data;
    };
    Case cases[] = {
        {"no clipboard data", FakeDataObject::Empty()},
        {"list without its closing empty string", FakeDataObject::WithRawItemNames(unterminatedList)},
        {"name without its terminator", FakeDataObject::WithRawItemNames(unterminatedName)},
        {"GetData failing", FakeDataObject::WithItemNames({L"id"})},
    };
    cases[3].data->getDataResult = E_OUTOFMEMORY;

    ComPtr<FakeDeviceManager> manager = FakeDeviceManager::Make();
    fakes::DeviceManagerRegistration registration;
    ASSERT_EQ(S_OK, registration.Register(manager.Get()));
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_EQ(E_FAIL, Bind(init.Get(), c.data.Get()));
        EXPECT_EQ(nullptr, BoundRoot(init.Get()));
        EXPECT_EQ(1u, c.data->RefCount());
    }
    EXPECT_TRUE(manager->requestedIds.empty());
    EXPECT_EQ(0u, registration.InstancesCreated());
    for (Case& c : cases)
        c.data.Reset();
}

TEST_F(BindingTest, DeviceManagerFailuresAreReturned)
{
    ComPtr<FakeDataObject> data = FakeDataObject::WithItemNames({kDeviceId});
    {
        SCOPED_TRACE("no device manager registered");
        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_TRUE(FAILED(Bind(init.Get(), data.Get())));
        EXPECT_EQ(nullptr, BoundRoot(init.Get()));
    }
    {
        SCOPED_TRACE("CreateDevice failing");
        ComPtr<FakeDeviceManager> manager = FakeDeviceManager::Make();
        manager->createDeviceResult = E_ACCESSDENIED;
        fakes::DeviceManagerRegistration registration;
        ASSERT_EQ(S_OK, registration.Register(manager.Get()));
        ComPtr<IShellExtInit> init = NewExtension();
        EXPECT_EQ(E_ACCESSDENIED, Bind(init.Get(), data.Get()));
        EXPECT_EQ(nullptr, BoundRoot(init.Get()));
        EXPECT_EQ(std::vector<std::wstring>{kDeviceId}, manager->requestedIds);
    }
    EXPECT_EQ(1u, data->RefCount());
}

// An item that is not a root (or whose type cannot be read) is refused before anything is
// read from it, yet stays with the object until the object is destroyed.
TEST_F(BindingTest, ItemThatIsNotARootIsRefusedAndReleasedWithTheObject)
{
    fakes::Scanner scanner = fakes::MakeScanner();
    scanner.root->getItemTypeResult = E_FAIL;
    struct Case
    {
        const char* label;
        fakes::FakeItem* item;
    };
    const Case cases[] = {
        {"image item", scanner.images[0].Get()},
        {"folder item", scanner.folder.Get()},
        {"root whose type cannot be read", scanner.root.Get()},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        const ULONG heldByTest = c.item->RefCount();
        ComPtr<FakeDataObject> data = FakeDataObject::ForItem(c.item);
        ComPtr<IShellExtInit> init = NewExtension();
        const DeviceTexts before = DeviceTexts::Of(init.Get());

        EXPECT_EQ(E_FAIL, Bind(init.Get(), data.Get()));
        EXPECT_EQ(static_cast<IWiaItem2*>(c.item), BoundRoot(init.Get()));
        EXPECT_EQ(0, c.item->CallCount("QueryInterface IWiaPropertyStorage"));
        EXPECT_TRUE(before == DeviceTexts::Of(init.Get()));

        data.Reset();
        EXPECT_EQ(heldByTest + 1, c.item->RefCount());
        init.Reset();
        EXPECT_EQ(heldByTest, c.item->RefCount());
    }
}

TEST_F(BindingTest, SecondInitializeReleasesTheRootItReplaces)
{
    const std::string firstDevice = DeviceName(" one");
    const std::string secondDevice = DeviceName(" two");
    uiext2_test::ScopedDeviceFolder firstFolder(firstDevice);
    uiext2_test::ScopedDeviceFolder secondFolder(secondDevice);
    fakes::ScannerSetup setup;
    setup.deviceName = Wide(firstDevice);
    fakes::Scanner first = fakes::MakeScanner(setup);
    setup.deviceName = Wide(secondDevice);
    fakes::Scanner second = fakes::MakeScanner(setup);

    ComPtr<IShellExtInit> init = NewExtension();
    ASSERT_EQ(S_OK, Bind(init.Get(), FakeDataObject::ForItem(first.root.Get()).Get()));
    EXPECT_EQ(2u, first.root->RefCount());

    ASSERT_EQ(S_OK, Bind(init.Get(), FakeDataObject::ForItem(second.root.Get()).Get()));
    EXPECT_EQ(1u, first.root->RefCount()) << "the replaced root item must be released";
    EXPECT_EQ(2u, second.root->RefCount());
    EXPECT_EQ(uiext2_test::DeviceFolder(secondDevice) + "\\VT_TWAIN1.ini", DeviceTexts::Of(init.Get()).settingsFile);

    // Calls that fail before a road delivers an item leave the binding as it was.
    EXPECT_EQ(E_FAIL, Bind(init.Get(), FakeDataObject::Empty().Get()));
    EXPECT_EQ(E_INVALIDARG, Bind(init.Get(), nullptr));
    EXPECT_EQ(static_cast<IWiaItem2*>(second.root.Get()), BoundRoot(init.Get()));
    EXPECT_EQ(2u, second.root->RefCount());

    init.Reset();
    EXPECT_EQ(1u, second.root->RefCount());
}

} // namespace
