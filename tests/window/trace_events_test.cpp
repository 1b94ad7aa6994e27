// What the shipped DLL tells the platform's event tracing, with its imports of the tracing
// functions pointed at recorders from the moment it loads (Wine keeps no traces), its
// provider enabled through its own enable callback as a trace would, and every event
// decoded from its own metadata.
#include "dll_host.h"
#include "driver_package.h"
#include "dialog_record.h"
#include "fake_scanner.h"
#include "properties_host.h"
#include "sheet_harness.h"
#include "trace_recorder.h"
#include "unix_side.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <thread>
#include <vector>

namespace
{

// Before anything loads the DLL.
const bool g_recording = (testtrace::StartRecording(), true);

// {92255BCB-E131-5EDD-4393-39ADE36ABE08}: "Velmora.WiaScanner.UiExtension" by the platform's
// name-based derivation (tests/logic/provider_guid_test.cpp checks it against the documented
// example), the GUID that trace programs given the name look for.
const GUID kProviderId = {0x92255bcb, 0xe131, 0x5edd, {0x43, 0x93, 0x39, 0xad, 0xe3, 0x6a, 0xbe, 0x08}};
constexpr char kProviderName[] = "Velmora.WiaScanner.UiExtension";

struct Expected
{
    const char* name;
    UCHAR level;
    ULONGLONG keyword;
    std::vector<std::string> fields; // "Name:InType[/OutType]=value"; a value "*" takes any
};

void ExpectEvents(const std::vector<Expected>& expected, const std::vector<testtrace::Event>& events,
                  const std::string& row)
{
    ASSERT_EQ(expected.size(), events.size()) << row;
    for (size_t i = 0; i < events.size(); ++i)
    {
        const testtrace::Event& event = events[i];
        SCOPED_TRACE(row + ", event " + std::to_string(i) + " " + event.name);
        EXPECT_EQ("", event.error);
        EXPECT_EQ(kProviderName, event.provider);
        EXPECT_EQ(11, event.channel) << "the TraceLogging channel";
        EXPECT_EQ(expected[i].name, event.name);
        EXPECT_EQ(expected[i].level, event.level);
        EXPECT_EQ(expected[i].keyword, event.keyword);
        ASSERT_EQ(expected[i].fields.size(), event.fields.size());
        for (size_t f = 0; f < event.fields.size(); ++f)
        {
            const std::string& want = expected[i].fields[f];
            if (want.size() > 1 && want.compare(want.size() - 2, 2, "=*") == 0)
                EXPECT_EQ(want.substr(0, want.size() - 1), event.fields[f].substr(0, want.size() - 1));
            else
                EXPECT_EQ(want, event.fields[f]);
        }
    }
}

// The provider's registration in this process's copy of the DLL.
const testtrace::Registration* Provider()
{
    testhost::Dll();
    return testtrace::Registrations().empty() ? nullptr : &testtrace::Registrations().front();
}

// Registered as the DLL loads, under the GUID derived from its name; unregistered by the
// FreeLibrary that unloads it (a copy of the DLL, loaded and unloaded here, shows it).
TEST(TraceProvider, RegistersAtLoadAndUnregistersAtUnload)
{
    const testtrace::Registration* provider = Provider();
    ASSERT_NE(nullptr, provider);
    EXPECT_TRUE(::IsEqualGUID(kProviderId, provider->id));
    char dll[MAX_PATH] = {}, temp[MAX_PATH] = {};
    ::GetModuleFileNameA(testhost::Dll().module, dll, MAX_PATH);
    ::GetTempPathA(MAX_PATH, temp);
    const std::string copy = std::string(temp) + "uiext2 unload copy.dll";
    ASSERT_TRUE(::CopyFileA(dll, copy.c_str(), FALSE));
    HMODULE second = ::LoadLibraryA(copy.c_str());
    ASSERT_NE(nullptr, second);
    ASSERT_EQ(2u, testtrace::Registrations().size());
    const testtrace::Registration again = testtrace::Registrations().back();
    EXPECT_TRUE(::IsEqualGUID(kProviderId, again.id));
    EXPECT_TRUE(testtrace::Unregistered().empty());
    ::FreeLibrary(second);
    EXPECT_EQ(std::vector<REGHANDLE>{again.handle}, testtrace::Unregistered());
    ::DeleteFileA(copy.c_str());
}

std::string FreshFolder(const std::string& name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = temp + name;
    uiext2_test::RemoveFolder(folder);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// What a traced scan needs: COM on this thread, as the WIA dialog's caller has it, the
// provider, and the templates and the companion installed where a driver package puts them.
struct ScanStage
{
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const testtrace::Registration* provider = Provider();
    uiext2_test::InstalledTemplates templates;
    uiext2_test::InstalledCompanion companion;

    ~ScanStage()
    {
        if (SUCCEEDED(com))
            ::CoUninitialize();
    }
    bool ok() const { return com == S_OK && provider && templates.ok() && companion.ok(); }
};

// A scan of two pages with a stranger on the pipe before the companion, two images and a
// foreign file in the drop folder, and a key the companion adds to the settings: what each
// trace is given. Without one nothing is written; one that asks for refusals, or for
// warnings and errors, gets the stranger alone; one that asks for everything gets every step.
TEST(TraceEvents, ScanRun)
{
    ScanStage stage;
    ASSERT_TRUE(stage.ok());
    const testtrace::Registration* provider = stage.provider;
    const std::string device = "uiext2 trace scan", tray = FreshFolder("uiext2 trace tray");
    const std::string drop = uiext2_test::CommonDocumentsFolder() + "\\Velmora\\VT_WIA_COPY";
    ::SetEnvironmentVariableA("UIEXT2_SCANNER_TRAY", tray.c_str());
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT", "await:uiext2 trace stranger;connect;scan:2;drop:2;"
                                                         "foreign:notes.txt;key:Contents:TraceTest:1;send:2;send:1134");
    const Expected refused = {
        "PipeClient", 3, 0x9, {"ProcessId:8/5=" + std::to_string(::GetCurrentProcessId()), "Accepted:13=false"}};
    const struct
    {
        const char* name;
        bool listening;
        UCHAR level;
        ULONGLONG keywords;
        std::vector<Expected> events; // "{companion}", "{bytes1}", "{bytes2}": as the run made them
    } rows[] = {
        {"nobody listening", false, 0, 0, {}},
        {"refusals at every level", true, 5, 0x8, {refused}},
        {"warnings and errors", true, 3, 0, {refused}},
        {"everything",
         true,
         5,
         0,
         {{"RunBegun", 4, 0x1, {"Program:1=uiext2_trace_tests.exe", "Device:1=" + device}},
          {"CompanionStarted", 4, 0x1, {"ProcessId:8/5={companion}", "Result:7/15=0x00000000"}},
          refused,
          {"PipeClient", 4, 0x1, {"ProcessId:8/5={companion}", "Accepted:13=true"}},
          {"PipeMessage", 5, 0x1, {"Value:8=2"}},
          {"Page", 5, 0x2, {"Bytes:10={bytes1}", "Milliseconds:8=*", "Result:7/15=0x00000000", "FileName:1=Scan.BMP"}},
          {"Page",
           5,
           0x2,
           {"Bytes:10={bytes2}", "Milliseconds:8=*", "Result:7/15=0x00000000", "FileName:1=Scan (2).BMP"}},
          {"PipeMessage", 5, 0x1, {"Value:8=1134"}},
          {"HandOff", 4, 0x1, {"KeysMerged:8=1", "CompanionExitMs:8=*"}},
          {"DropFolderEmptied", 4, 0x1, {"Removed:8=2", "Left:8=1"}},
          {"RunEnded", 4, 0x1, {"Result:7/15=0x00000000", "PagesSaved:8=2"}}}},
    };
    for (const auto& row : rows)
    {
        const std::string output = FreshFolder("uiext2 trace scans");
        ASSERT_TRUE(uiext2_test::RemoveDeviceFolder(device));
        fakes::ScannerSetup setup;
        setup.deviceName = std::wstring(device.begin(), device.end());
        setup.trayFolder = std::wstring(tray.begin(), tray.end());
        fakes::Scanner scanner = fakes::MakeScanner(setup);
        fakes::DialogRecord record(scanner.root.Get(), output);
        DEVICEDIALOGDATA2& data = record.data;
        if (row.listening)
            testtrace::Enable(*provider, true, row.level, row.keywords);
        testtrace::TakeEvents();

        HANDLE ended = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread stranger(
            [&]
            {
                HANDLE strangerIn = ::CreateEventA(nullptr, TRUE, FALSE, "uiext2 trace stranger");
                HANDLE pipe = INVALID_HANDLE_VALUE;
                for (int i = 0; i < 1000 && pipe == INVALID_HANDLE_VALUE; ++i, ::Sleep(10))
                    pipe = ::CreateFileA("\\\\.\\pipe\\VTWIAUSB2", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
                ::SetEvent(strangerIn);
                ::WaitForSingleObject(ended, 20000);
                ::CloseHandle(pipe);
                ::CloseHandle(strangerIn);
            });
        Microsoft::WRL::ComPtr<IWiaUIExtension2> extension;
        ASSERT_EQ(S_OK,
                  testhost::CreateExtension(IID_IWiaUIExtension2, reinterpret_cast<void**>(extension.GetAddressOf())));
        EXPECT_EQ(S_OK, extension->DeviceDialog(&data)) << row.name;
        ::SetEvent(ended);
        stranger.join();
        ::CloseHandle(ended);
        std::vector<testtrace::Event> events = testtrace::TakeEvents();
        testtrace::Enable(*provider, false);
        uiext2_test::InstalledCompanion::WaitUntilGone();

        std::vector<Expected> expected = row.events;
        const auto value = [&](size_t event, size_t field) -> std::string
        {
            const bool there = events.size() > event && events[event].fields.size() > field;
            return there ? events[event].fields[field].substr(events[event].fields[field].find('=') + 1) : "";
        };
        const auto bytes = [&](LONG page)
        { return data.lNumFiles > page ? std::to_string(uiext2_test::FileText(record.Path(page)).size()) : ""; };
        for (Expected& event : expected)
            for (std::string& field : event.fields)
                for (const auto& [token, text] : {std::pair<std::string, std::string>{"{companion}", value(1, 0)},
                                                  {"{bytes1}", bytes(0)},
                                                  {"{bytes2}", bytes(1)}})
                    if (field.find(token) != std::string::npos)
                        field.replace(field.find(token), token.size(), text);
        EXPECT_EQ(2, data.lNumFiles) << row.name;
        ExpectEvents(expected, events, row.name);

        uiext2_test::RemoveFolder(output);
        uiext2_test::RemoveFolder(drop);
        uiext2_test::RemoveFolder(tray);
        ::CreateDirectoryA(tray.c_str(), nullptr);
    }
    uiext2_test::RemoveDeviceFolder(device);
    uiext2_test::RemoveFolder(tray);
}

// A scan of a device whose settings file has a second name (a hard link made from the Unix
// side once a first scan has made the file): its staging copy cannot be made this device's,
// and the refusal names the file in UTF-16.
TEST(TraceEvents, CopyRefused)
{
    ScanStage stage;
    ASSERT_TRUE(stage.ok());
    const testtrace::Registration* provider = stage.provider;
    const std::string device = "uiext2 trace refused", output = FreshFolder("uiext2 trace refused scans");
    const std::string settings = uiext2_test::CommonDocumentsFolder() + "\\Velmora\\WIA\\" + device + "\\VT_TWAIN1.ini";
    const std::string elsewhere = uiext2_test::CommonDocumentsFolder() + "\\uiext2 trace refused link.ini";
    ASSERT_TRUE(uiext2_test::RemoveDeviceFolder(device));
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT", "connect;send:1134");
    fakes::ScannerSetup setup;
    setup.deviceName = std::wstring(device.begin(), device.end());
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    std::vector<testtrace::Event> events;
    for (const bool linked : {false, true})
    {
        if (linked)
        {
            ASSERT_TRUE(
                uiext2_test::UnixShell("ln -f " + uiext2_test::OnC(settings) + " " + uiext2_test::OnC(elsewhere)));
            testtrace::Enable(*provider, true, 3, 0x8);
            testtrace::TakeEvents();
        }
        fakes::DialogRecord record(scanner.root.Get(), output);
        Microsoft::WRL::ComPtr<IWiaUIExtension2> extension;
        ASSERT_EQ(S_OK,
                  testhost::CreateExtension(IID_IWiaUIExtension2, reinterpret_cast<void**>(extension.GetAddressOf())));
        extension->DeviceDialog(&record.data);
        uiext2_test::InstalledCompanion::WaitUntilGone();
    }
    events = testtrace::TakeEvents();
    testtrace::Enable(*provider, false);
    uiext2_test::UnixShell("rm -f " + uiext2_test::OnC(elsewhere));
    uiext2_test::RemoveDeviceFolder(device);
    uiext2_test::RemoveFolder(output);

    std::vector<testtrace::Event> refused;
    for (const testtrace::Event& event : events)
        if (event.name == "CopyRefused")
            refused.push_back(event);
    ExpectEvents({{"CopyRefused", 3, 0x9, {"File:1=VT_TWAIN1.ini", "Error:8/13=222"}}}, refused, "second name");
}

// The sheet's pages, an Apply that saves, and one that cannot: the settings file has a
// second name (a hard link made from the Unix side), so the page refuses it as not ours and
// says so.
TEST(TraceEvents, ApplyThatFails)
{
    const testtrace::Registration* provider = Provider();
    ASSERT_NE(nullptr, provider);
    testwindow::PropertiesHost host("uiext2 trace apply");
    ASSERT_TRUE(host.ok());
    const std::string settings = host.settingsFile();
    const std::string elsewhere = uiext2_test::CommonDocumentsFolder() + "\\uiext2 trace second name.ini";
    testtrace::Enable(*provider, true, 0, 0); // level 0: every level
    testtrace::TakeEvents();
    {
        testwindow::ModelessSheet sheet(host.AddPages().kept);
        ::SetDlgItemTextA(sheet.page(0), 1052, "4");
        EXPECT_TRUE(sheet.Apply());
        ASSERT_TRUE(uiext2_test::UnixShell("ln -f " + uiext2_test::OnC(settings) + " " + uiext2_test::OnC(elsewhere)));
        testwindow::MessageBoxCatcher boxes;
        ::SetDlgItemTextA(sheet.page(0), 1052, "3"); // a change: an untouched page writes nothing
        EXPECT_FALSE(sheet.Apply());
        ASSERT_TRUE(uiext2_test::UnixShell("rm -f " + uiext2_test::OnC(elsewhere)));
    }
    std::vector<testtrace::Event> events = testtrace::TakeEvents();
    testtrace::Enable(*provider, false);
    ExpectEvents({{"SheetPages", 4, 0x4, {"Settings:13=true", "About:13=true", "Language:20=0x00000409"}},
                  // the level typed, and the four of the eight keys the provisioned file lacks
                  {"Apply", 4, 0x4, {"KeysWritten:8=5", "Error:8/13=0", "Reason:1="}},
                  {"NotOurs", 3, 0x8, {"Check:2=second name", "Entry:1=VT_TWAIN1.ini", "Error:8/13=222"}},
                  {"Apply", 2, 0x4, {"KeysWritten:8=0", "Error:8/13=222", "Reason:1=not ours"}}},
                 events, "apply");
}

} // namespace
