// IShellExtInit::Initialize through the shipped DLL, against the simulated scanner: the
// device-manager road from inside the DLL, the settings folder it prepares, and the root
// item's lifetime.
#include "dll_host.h"
#include "driver_package.h"
#include "fake_scanner.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wrl/client.h>

#include <string>

using Microsoft::WRL::ComPtr;

namespace
{

class DllBinding : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override
    {
        EXPECT_EQ(0, fakes::LiveObjects()) << "a simulated scanner object was not released";
        ::CoUninitialize();
    }

    static ComPtr<IShellExtInit> NewExtension()
    {
        ComPtr<IShellExtInit> init;
        EXPECT_EQ(S_OK, testhost::CreateExtension(IID_IShellExtInit, reinterpret_cast<void**>(init.GetAddressOf())));
        return init;
    }
};

TEST_F(DllBinding, OpensTheDeviceThroughTheDeviceManagerAndProvisionsIt)
{
    const std::string device = "uiext2 DLL host scanner";
    uiext2_test::InstalledTemplates templates;
    ASSERT_TRUE(templates.ok());
    uiext2_test::ScopedDeviceFolder folder(device);
    fakes::ScannerSetup setup;
    setup.deviceName = std::wstring(device.begin(), device.end());
    setup.modelName = L"DLL-7";
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    {
        ComPtr<fakes::FakeDeviceManager> manager = fakes::FakeDeviceManager::Make();
        manager->AddDevice(L"dll-device", scanner.root.Get());
        fakes::DeviceManagerRegistration registration;
        ASSERT_EQ(S_OK, registration.Register(manager.Get()));

        ComPtr<IShellExtInit> init = NewExtension();
        ASSERT_TRUE(init);
        EXPECT_EQ(S_OK,
                  init->Initialize(nullptr, fakes::FakeDataObject::WithItemNames({L":dll-device"}).Get(), nullptr));
        EXPECT_EQ(1u, registration.InstancesCreated());
        EXPECT_EQ(std::vector<std::wstring>{L"dll-device"}, manager->requestedIds);
        std::string model;
        EXPECT_TRUE(
            uiext2_test::ReadIni(uiext2_test::DeviceFolder(device) + "\\RegList.ini", "Scanner1", "Model", model));
        EXPECT_EQ("DLL-7", model);
        EXPECT_EQ(1, scanner.root->CallCount("ReadMultiple"));
    }
    EXPECT_EQ(1u, scanner.root->RefCount()) << "the object released its root item when destroyed";
    EXPECT_EQ(S_OK, testhost::Dll().DllCanUnloadNow());
}

TEST_F(DllBinding, RefusesAChildItemAndStillReleasesIt)
{
    fakes::Scanner scanner = fakes::MakeScanner();
    const ULONG held = scanner.folder->RefCount(); // the test's and the root's
    {
        ComPtr<IShellExtInit> init = NewExtension();
        ASSERT_TRUE(init);
        EXPECT_EQ(E_FAIL,
                  init->Initialize(nullptr, fakes::FakeDataObject::ForItem(scanner.folder.Get()).Get(), nullptr));
        EXPECT_EQ(held + 1, scanner.folder->RefCount()) << "the refused item stays with the object";
        EXPECT_EQ(0, scanner.folder->CallCount("QueryInterface IWiaPropertyStorage"));
    }
    EXPECT_EQ(held, scanner.folder->RefCount());
}

// A Japanese device name reaches the file system in the system's ANSI code page. In code
// page 932 "スキャナ ソ" is one folder name, although the trail byte of "ソ" is 0x5C ('\\').
// In a single-byte code page the name cannot be converted without loss (it would become
// "?????"), and the binding refuses it before anything is created. CTest runs this test
// once more under a Japanese system locale.
TEST_F(DllBinding, JapaneseDeviceNameFollowsTheSystemCodePage)
{
    const std::wstring wideName = L"\u30B9\u30AD\u30E3\u30CA \u30BD"; // スキャナ ソ
    char ansiName[68] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wideName.c_str(), -1, ansiName, sizeof(ansiName), nullptr, nullptr);
    const std::string device = ansiName;

    uiext2_test::InstalledTemplates templates;
    ASSERT_TRUE(templates.ok());
    uiext2_test::ScopedDeviceFolder folder(device);
    fakes::ScannerSetup setup;
    setup.deviceName = wideName;
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    {
        ComPtr<IShellExtInit> init = NewExtension();
        ASSERT_TRUE(init);
        const HRESULT hr = init->Initialize(nullptr, fakes::FakeDataObject::ForItem(scanner.root.Get()).Get(), nullptr);
        if (::GetACP() == 932)
        {
            ASSERT_EQ("\x83\x58\x83\x4C\x83\x83\x83\x69 \x83\x5C", device);
            EXPECT_EQ(S_OK, hr);
            EXPECT_TRUE(uiext2_test::FileExists(uiext2_test::DeviceFolder(device) + "\\VT_TWAIN1.ini"));
        }
        else
        {
            EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), hr);
            EXPECT_FALSE(uiext2_test::FolderExists(uiext2_test::DeviceFolder(device)));
        }
    }
}

} // namespace
