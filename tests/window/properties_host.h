// The shell's side of the scanner's properties: the shipped DLL loaded as a host loads it, an
// extension object initialised with a simulated scanner, and the pages its AddPages offers.
#pragma once

#include "driver_package.h"
#include "fake_scanner.h"

#include <windows.h>
#include <prsht.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace testwindow
{

// COM on this thread, the driver package installed, and an extension object bound to a
// simulated scanner called `deviceName` whose settings folder is fresh. Everything is undone
// when the object goes.
class PropertiesHost
{
public:
    explicit PropertiesHost(const std::string& deviceName, const std::wstring& firmwareVersion = L"1.02");
    ~PropertiesHost();
    PropertiesHost(const PropertiesHost&) = delete;
    PropertiesHost& operator=(const PropertiesHost&) = delete;

    bool ok() const { return ok_; }
    IShellPropSheetExt* extension() const { return extension_.Get(); }
    void ReleaseExtension() { extension_.Reset(); }

    const std::string& settingsFile() const { return settingsFile_; } // as Initialize provisioned it

    // Calls AddPages with a host callback that keeps the n-th page offered when accept[n]
    // says so (pages beyond the list are kept). Returns the kept pages in the order offered.
    struct Offer
    {
        std::vector<bool> accept;
        HRESULT result = E_UNEXPECTED;
        int offered = 0;
        std::vector<HPROPSHEETPAGE> kept;
    };
    Offer AddPages(const std::vector<bool>& accept = {});

private:
    bool comReady_ = false;
    uiext2_test::InstalledTemplates templates_;
    uiext2_test::ScopedDeviceFolder folder_;
    fakes::Scanner scanner_;
    Microsoft::WRL::ComPtr<IShellPropSheetExt> extension_;
    std::string settingsFile_;
    bool ok_ = false;
};

// The current reference count of a COM object, read through AddRef and Release.
inline ULONG RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

} // namespace testwindow
