// The scan road as a WIA 2.0 application takes it: the extension's class registered for
// this machine, the object made by COM, DeviceDialog with a folder and base name, and the
// files that come back. The scanner's pages are drawn by the simulated companion program.
#include "scan_demo.h"

#include "driver_package.h"
#include "dialog_record.h"
#include "fake_scanner.h"
#include "support/unique.h"

#include <oleauto.h>
#include <shlwapi.h>

#include <cstdio>
#include <vector>

namespace
{

const CLSID kClsidUiExtension = {0x2bca3e51, 0x192d, 0x430d, {0x9d, 0x2e, 0xcb, 0xf1, 0x80, 0x30, 0xea, 0xd7}};
const char kClassKey[] = "CLSID\\{2BCA3E51-192D-430D-9D2E-CBF18030EAD7}";

// What the companion does for the demonstration: it connects, scans four pages in four
// formats, reports them, and ends the scan.
const char kCompanionScript[] = "connect;sleep:500;scan:1:png:100;scan:1:jpg:100;scan:1:tif:100;scan:1:bmp:100;"
                                "send:2;send:1134";

// The in-process server entry a driver package writes, pointing at the DLL beside us.
class ClassRegistration
{
public:
    ClassRegistration()
    {
        char self[MAX_PATH] = {};
        const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string dll(self, length);
        dll.erase(dll.find_last_of('\\') + 1).append("uiext2.dll");
        uiext2::UniqueHKey server;
        const std::string key = std::string(kClassKey) + "\\InProcServer32";
        ok_ = ::RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, server.put(),
                                nullptr) == ERROR_SUCCESS &&
              ::RegSetValueExA(server.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                               static_cast<DWORD>(dll.size() + 1)) == ERROR_SUCCESS &&
              ::RegSetValueExA(server.get(), "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Apartment"),
                               sizeof("Apartment")) == ERROR_SUCCESS;
        std::printf("  registered %s\n    InProcServer32 = %s (Apartment)\n", kClassKey, dll.c_str());
    }
    ~ClassRegistration() { ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey); }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

std::string Narrow(const std::wstring& text)
{
    char buffer[MAX_PATH * 2] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof(buffer), nullptr, nullptr);
    return buffer;
}

// Where a Windows path of the host's drive Z: is on the host.
std::string HostPath(const std::string& path)
{
    if (path.size() < 2 || (path[0] != 'Z' && path[0] != 'z') || path[1] != ':')
        return std::string();
    std::string host = path.substr(2);
    for (char& c : host)
        if (c == '\\')
            c = '/';
    return host;
}

} // namespace

int RunScanDemo(const std::wstring& folder, const std::wstring& baseName)
{
    std::printf("\nscan road: a WIA 2.0 application asks for the scanner's image dialog\n");
    std::printf("  installing the simulated driver package with its companion program\n");
    uiext2_test::InstalledTemplates templates;
    uiext2_test::InstalledCompanion companion;
    ClassRegistration registration;
    if (!templates.ok() || !companion.ok() || !registration.ok())
    {
        std::printf("cannot install the simulated driver package (run as the machine's administrator)\n");
        return 1;
    }
    std::printf("    %s\n", uiext2_test::InstalledCompanion::Path().c_str());

    // The scanner's tray: where the companion, in its own process, puts the pages it scans.
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string tray = std::string(temp) + "uiext2 demo tray";
    uiext2_test::RemoveFolder(tray);
    ::CreateDirectoryA(tray.c_str(), nullptr);
    ::CreateDirectoryA(Narrow(folder).c_str(), nullptr);
    ::SetEnvironmentVariableA("UIEXT2_SCANNER_TRAY", tray.c_str());
    ::SetEnvironmentVariableA("UIEXT2_COMPANION_SCRIPT", kCompanionScript);

    fakes::ScannerSetup setup;
    setup.deviceName = L"Demo Scanner";
    setup.modelName = L"VS-2400";
    setup.imageCount = 0;
    setup.trayFolder = std::wstring(tray.begin(), tray.end());
    fakes::Scanner scanner = fakes::MakeScanner(setup);

    IWiaUIExtension2* extension = nullptr;
    HRESULT hr = ::CoCreateInstance(kClsidUiExtension, nullptr, CLSCTX_INPROC_SERVER, IID_IWiaUIExtension2,
                                    reinterpret_cast<void**>(&extension));
    std::printf("  CoCreateInstance(IWiaUIExtension2): 0x%08lX\n", static_cast<unsigned long>(hr));
    if (FAILED(hr))
        return 1;

    DEVICEDIALOGDATA2 data = {};
    data.cbSize = sizeof(data);
    data.pIWiaItemRoot = scanner.root.Get();
    data.bstrFolderName = ::SysAllocString(folder.c_str());
    data.bstrFilename = ::SysAllocString(baseName.c_str());
    std::printf("  DeviceDialog: folder %ls, base name %ls\n", folder.c_str(), baseName.c_str());
    std::printf("    the companion program starts, scans four pages and reports them over the pipe;\n"
                "    the extension downloads each through IWiaTransfer...\n");
    std::fflush(stdout);
    const DWORD start = ::GetTickCount();
    hr = extension->DeviceDialog(&data);
    std::printf("  DeviceDialog returned 0x%08lX after %lu ms with %ld file(s):\n", static_cast<unsigned long>(hr),
                ::GetTickCount() - start, data.lNumFiles);
    for (LONG i = 0; i < data.lNumFiles; ++i)
    {
        const std::string path = Narrow(data.pbstrFilePaths[i] ? data.pbstrFilePaths[i] : L"");
        WIN32_FILE_ATTRIBUTE_DATA attributes = {};
        ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes);
        std::printf("    %-60s %8lu bytes\n", path.c_str(), attributes.nFileSizeLow);
        const std::string host = HostPath(path);
        if (!host.empty())
            std::printf("      on this machine: %s\n", host.c_str());
    }
    fakes::FreeDialogData(data);
    extension->Release();
    uiext2_test::RemoveFolder(tray);
    return hr == S_OK ? 0 : 1;
}
