// What the binding tests share: COM on the test thread, the driver package's templates,
// a fresh extension object, and checks that nothing leaked.
#pragma once

#include "com/class_factory.h"
#include "com/module.h"
#include "com/ui_extension.h"
#include "device/wia_binding.h"
#include "driver_package.h"
#include "fake_scanner.h"

#include <gtest/gtest.h>

#include <string>

namespace binding_test
{

using Microsoft::WRL::ComPtr;

// Tests share one machine: every device name carries its test's name.
inline std::string DeviceName(const char* suffix = "")
{
    return std::string("uiext2 ") + testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
}

inline std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// An object's device files (in the folder it holds) and version line as they stand, to show that a failed binding
// left them.
struct DeviceTexts
{
    std::string settingsFile, scannerListFile, pageLogFile, versionText;

    static DeviceTexts Of(IShellExtInit* init)
    {
        const uiext2::BoundDevice& device = static_cast<uiext2::UiExtension*>(init)->Device();
        const std::string folder = device.folders.deviceHeld() ? device.folders.device().path() : "";
        const auto file = [&](const char* name) { return folder.empty() ? folder : folder + "\\" + name; };
        return {file("VT_TWAIN1.ini"), file("RegList.ini"), file("VTTwainPageLog.ini"), device.versionText};
    }
    bool operator==(const DeviceTexts& other) const
    {
        return settingsFile == other.settingsFile && scannerListFile == other.scannerListFile &&
               pageLogFile == other.pageLogFile && versionText == other.versionText;
    }
};

class BindingTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        comReady_ = true;
        ASSERT_TRUE(templates_.ok());
        liveObjects_ = fakes::LiveObjects();
        moduleCount_ = uiext2::ModuleRefCount();
    }

    void TearDown() override
    {
        EXPECT_EQ(liveObjects_, fakes::LiveObjects()) << "a simulated scanner object was not released";
        EXPECT_EQ(moduleCount_, uiext2::ModuleRefCount()) << "an extension object was not released";
        if (comReady_)
            ::CoUninitialize();
    }

    // A new extension object, as the shell creates one.
    static ComPtr<IShellExtInit> NewExtension()
    {
        ComPtr<IShellExtInit> init;
        EXPECT_EQ(S_OK, uiext2::UiExtensionClassFactory::Instance().CreateInstance(
                            nullptr, IID_IShellExtInit, reinterpret_cast<void**>(init.GetAddressOf())));
        return init;
    }

    static HRESULT Bind(IShellExtInit* init, IDataObject* data) { return init->Initialize(nullptr, data, nullptr); }

    static IWiaItem2* BoundRoot(IShellExtInit* init) { return static_cast<uiext2::UiExtension*>(init)->RootItem(); }

private:
    uiext2_test::InstalledTemplates templates_;
    bool comReady_ = false;
    LONG liveObjects_ = 0;
    LONG moduleCount_ = 0;
};

} // namespace binding_test
