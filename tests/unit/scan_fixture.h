// What the scan tests share: COM on the test thread, the driver package with the simulated
// companion, a device of the test's own, the scanner's tray and the application's folder,
// and checks that a run left nothing behind.
#pragma once

#include "com/class_factory.h"
#include "dialog_record.h"
#include "driver_package.h"
#include "fake_scanner.h"
#include "platform/wia2.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace scan_test
{

using Microsoft::WRL::ComPtr;

inline std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// The test's name as a file name: a parameterised test's has a '/'.
inline std::string TestName()
{
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    return name;
}

// A folder of this test's own in the temporary folder, empty.
inline std::string FreshFolder(const char* purpose)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "uiext2 " + purpose + " " + TestName();
    uiext2_test::RemoveFolder(folder);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// The entries of a folder matching a pattern.
inline std::vector<std::string> Entries(const std::string& folder, const char* pattern = "*")
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return names;
}

// A named manual-reset event shared with the simulated companion ("signal:", "await:").
class NamedEvent
{
public:
    explicit NamedEvent(const char* name) : event_(::CreateEventA(nullptr, TRUE, FALSE, name)) {}
    ~NamedEvent() { ::CloseHandle(event_); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    bool Wait() const { return ::WaitForSingleObject(event_, 20000) == WAIT_OBJECT_0; }
    void Set() const { ::SetEvent(event_); }

private:
    HANDLE event_;
};

using fakes::DialogRecord;

class ScanTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        comReady_ = true;
        ASSERT_TRUE(templates_.ok());
        ASSERT_TRUE(companion_.ok());
        deviceName_ = "uiext2 " + TestName();
        ASSERT_TRUE(uiext2_test::RemoveDeviceFolder(deviceName_));
        tray_ = FreshFolder("tray");
        output_ = FreshFolder("scans");
        report_ = output_ + ".report.ini";
        ::DeleteFileA(report_.c_str());
        ::SetEnvironmentVariableA("UIEXT2_SCANNER_TRAY", tray_.c_str());
        ::SetEnvironmentVariableA("UIEXT2_COMPANION_REPORT", report_.c_str());
        liveObjects_ = fakes::LiveObjects();
    }

    void TearDown() override
    {
        scanner_ = fakes::Scanner{};
        EXPECT_EQ(liveObjects_, fakes::LiveObjects()) << "a simulated scanner object was not released";
        uiext2_test::RemoveDeviceFolder(deviceName_);
        uiext2_test::RemoveFolder(tray_);
        uiext2_test::RemoveFolder(output_);
        ::DeleteFileA(report_.c_str());
        if (comReady_)
            ::CoUninitialize();
    }

    // A scanner of this test's device with `images` pages of its own (not "Setup": that name
    // is GoogleTest's trap for a misspelt SetUp, which this would hide).
    fakes::ScannerSetup DeviceSetup(ULONG images) const
    {
        fakes::ScannerSetup setup;
        setup.deviceName = Wide(deviceName_);
        setup.imageCount = images;
        return setup;
    }

    // The simulated scanner of this test, presenting the tray's pages.
    IWiaItem2* Scanner()
    {
        fakes::ScannerSetup setup = DeviceSetup(0);
        setup.trayFolder = Wide(tray_);
        if (!scanner_.root)
            scanner_ = fakes::MakeScanner(setup);
        return scanner_.root.Get();
    }

    // DeviceDialog on a new extension object, as a WIA application calls it, with the
    // companion following `script`.
    static HRESULT RunDialog(const std::string& script, DEVICEDIALOGDATA2& data)
    {
        ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT", script.c_str());
        ComPtr<IWiaUIExtension2> extension;
        const HRESULT created = uiext2::UiExtensionClassFactory::Instance().CreateInstance(
            nullptr, IID_IWiaUIExtension2, reinterpret_cast<void**>(extension.GetAddressOf()));
        if (FAILED(created))
            return created;
        return extension->DeviceDialog(&data);
    }

    // The host that KillHostAt (hand_off_steps.h) starts: true when this process is it. It
    // runs a scan following UIEXT2_DYING_HOST, for UIEXT2_DYING_DEVICE when that names a
    // device, and is ended from outside before the scan returns.
    bool RunAsDyingHost()
    {
        const char* script = std::getenv("UIEXT2_DYING_HOST");
        if (!script)
            return false;
        fakes::ScannerSetup setup = DeviceSetup(0);
        const char* device = std::getenv("UIEXT2_DYING_DEVICE");
        if (device && *device)
            setup.deviceName = Wide(device);
        setup.trayFolder = Wide(tray_);
        scanner_ = fakes::MakeScanner(setup);
        DialogRecord record(scanner_.root.Get(), output_);
        RunDialog(script, record.data);
        return true;
    }

    // What the companion reported; empty when it did not say.
    std::string Reported(const char* key) const
    {
        std::string value;
        uiext2_test::ReadIni(report_, "Companion", key, value);
        return value;
    }

    uiext2_test::InstalledTemplates templates_;
    uiext2_test::InstalledCompanion companion_;
    std::string deviceName_, tray_, output_, report_;
    fakes::Scanner scanner_;

private:
    bool comReady_ = false;
    LONG liveObjects_ = 0;
};

} // namespace scan_test
