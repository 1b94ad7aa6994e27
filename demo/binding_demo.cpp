// The properties road with the simulated scanner: the driver package installed in this
// machine, the WIA 2.0 device manager standing in this process, and the extension object
// bound to the scanner through the "WIAItemNames" device ID, as the shell does it.
#include "binding_demo.h"

#include "driver_package.h"
#include "fake_scanner.h"

#include <shlobj.h>

#include <cstdio>
#include <string>

namespace
{

const CLSID kClsidUiExtension = {0x2bca3e51, 0x192d, 0x430d, {0x9d, 0x2e, 0xcb, 0xf1, 0x80, 0x30, 0xea, 0xd7}};

void ShowIni(const std::string& path, const char* section, const char* key)
{
    std::string value;
    if (uiext2_test::ReadIni(path, section, key, value))
        std::printf("    [%s] %s=%s\n", section, key, value.c_str());
    else
        std::printf("    [%s] %s is absent\n", section, key);
}

} // namespace

int RunBindingDemo(GetClassObjectFn getClassObject)
{
    const std::string deviceName = "Demo Scanner";
    const std::wstring deviceId = L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0042";

    // What the scanner's installation leaves on a machine.
    uiext2_test::RemoveDeviceFolder(deviceName); // a fresh first sight on every run
    uiext2_test::InstalledTemplates templates;
    uiext2_test::InstalledScanner installed("0042", deviceName, "192.168.0.42");
    if (!templates.ok() || !installed.ok())
    {
        std::printf("cannot install the simulated driver package (run as the machine's administrator)\n");
        return 1;
    }

    // The scanner and the device manager that opens it by its ID.
    fakes::ScannerSetup setup;
    setup.deviceName = std::wstring(deviceName.begin(), deviceName.end());
    setup.modelName = L"VS-2400";
    setup.firmwareVersion = L"2.10.005";
    fakes::Scanner scanner = fakes::MakeScanner(setup);
    auto manager = fakes::FakeDeviceManager::Make();
    manager->AddDevice(deviceId, scanner.root.Get());
    fakes::DeviceManagerRegistration registration;
    if (FAILED(registration.Register(manager.Get())))
    {
        std::printf("cannot register the simulated device manager\n");
        return 1;
    }

    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(kClsidUiExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return 1;
    IShellExtInit* init = nullptr;
    const HRESULT created = factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    factory->Release();
    if (FAILED(created))
        return 1;

    auto dataObject = fakes::FakeDataObject::WithItemNames({deviceId});
    const HRESULT hr = init->Initialize(nullptr, dataObject.Get(), nullptr);
    std::printf("properties road: Initialize with \"WIAItemNames\" = %ls\n", deviceId.c_str());
    std::printf("  result 0x%08lX; the device manager was asked for %zu device(s)\n", static_cast<unsigned long>(hr),
                manager->requestedIds.size());

    const std::string folder = uiext2_test::DeviceFolder(deviceName);
    std::printf("  settings folder %s\n", folder.c_str());
    for (const char* file : {"VT_TWAIN1.ini", "RegList.ini", "VTTwainPageLog.ini"})
        std::printf("    %-20s %s\n", file, uiext2_test::FileExists(folder + "\\" + file) ? "present" : "missing");
    ShowIni(folder + "\\VT_TWAIN1.ini", "Contents", "Unit");
    ShowIni(folder + "\\VT_TWAIN1.ini", "Contents", "ScannerAddress");
    ShowIni(folder + "\\RegList.ini", "Scanner1", "Model");
    std::string address;
    std::printf("  registry ScannerAddress after the move: %s\n",
                installed.ReadAddress(address) ? address.c_str() : "(gone)");

    init->Release();
    return SUCCEEDED(hr) ? 0 : 1;
}
