// What the hand-off tests share: the device's file and another device's copies, the staging
// folder, the simulated companion's end, the hand-off record, and a host ended from outside.
#pragma once

#include "scan_fixture.h"

#include <functional>
#include <string>

namespace scan_test
{

constexpr char kDeviceSettings[] =
    "[Contents]\r\nCompression=2\r\nScannerAddress=10.0.0.1\r\n[Authentication]\r\nUserName=me\r\n";
constexpr char kOtherDevice[] = "[Contents]\r\nScannerAddress=10.9.9.9\r\n[Authentication]\r\nUserName=another\r\n";

inline std::string StagingFile(const char* name)
{
    return uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA\\" + name;
}

// The device's folder holding its settings file alone, so that it is not provisioned again,
// and the staging folder holding another device's copies.
inline void PrepareFolders(const std::string& device)
{
    for (const char* folder : {"\\Velmora", "\\Velmora\\WIA", "\\Velmora\\VT_WIA"})
        ::CreateDirectoryA((uiext2_test::CommonDocumentsFolder() + folder).c_str(), nullptr);
    ::CreateDirectoryA(uiext2_test::DeviceFolder(device).c_str(), nullptr);
    ASSERT_TRUE(uiext2_test::WriteFileText(uiext2_test::DeviceFolder(device) + "\\VT_TWAIN1.ini", kDeviceSettings));
    for (const char* file : {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"})
        ASSERT_TRUE(uiext2_test::WriteFileText(StagingFile(file), kOtherDevice));
}

inline void AwaitCompanionGone()
{
    HANDLE alive = ::OpenMutexA(SYNCHRONIZE, FALSE, "uiext2 simulated companion");
    if (alive && ::WaitForSingleObject(alive, 20000) != WAIT_TIMEOUT)
        ::ReleaseMutex(alive);
    if (alive)
        ::CloseHandle(alive);
}

inline bool RecordLeft()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora Tesk\\WIA_QAL2\\HandOff", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// Holds the device's lock as another writer of ours would: its lock file, unshared, deleted
// as the handle closes.
inline HANDLE HoldDeviceLock(const std::string& device)
{
    return ::CreateFileA((uiext2_test::DeviceFolder(device) + "\\~settings.lock").c_str(), DELETE, 0, nullptr,
                         CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// Runs a scan for `device` in another host (this program, running the test named `test`, which
// starts such a run when UIEXT2_DYING_HOST holds the companion's script), and ends that host
// from outside once its companion has set the event "uiext2 test moment" and `atMoment` has
// returned. The companion is not stopped.
inline void KillHostAt(const char* test, const char* script, const std::string& device,
                       const std::function<void()>& atMoment)
{
    NamedEvent moment("uiext2 test moment");
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("host --gtest_filter=ScanTest.") + test;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION host = {};
    ::SetEnvironmentVariableA("UIEXT2_DYING_HOST", script);
    ::SetEnvironmentVariableA("UIEXT2_DYING_DEVICE", device.c_str());
    ASSERT_TRUE(::CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &host));
    ::SetEnvironmentVariableA("UIEXT2_DYING_HOST", nullptr);
    ::SetEnvironmentVariableA("UIEXT2_DYING_DEVICE", nullptr);
    EXPECT_TRUE(moment.Wait());
    atMoment();
    ::TerminateProcess(host.hProcess, 1);
    ::WaitForSingleObject(host.hProcess, 20000);
    ::CloseHandle(host.hThread);
    ::CloseHandle(host.hProcess);
}

} // namespace scan_test
