// The shell's side of the scanner's properties, for window tests and the page pictures.
#include "properties_host.h"

#include "dll_host.h"

namespace testwindow
{

namespace
{

fakes::ScannerSetup Setup(const std::string& deviceName, const std::wstring& firmwareVersion)
{
    fakes::ScannerSetup setup;
    setup.deviceName.assign(deviceName.begin(), deviceName.end());
    setup.firmwareVersion = firmwareVersion;
    return setup;
}

struct OfferState
{
    const std::vector<bool>* accept;
    PropertiesHost::Offer* offer;
};

BOOL CALLBACK KeepPage(HPROPSHEETPAGE page, LPARAM lParam)
{
    auto* state = reinterpret_cast<OfferState*>(lParam);
    const size_t index = static_cast<size_t>(state->offer->offered++);
    if (index < state->accept->size() && !(*state->accept)[index])
        return FALSE;
    state->offer->kept.push_back(page);
    return TRUE;
}

} // namespace

PropertiesHost::PropertiesHost(const std::string& deviceName, const std::wstring& firmwareVersion)
    : comReady_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))), folder_(deviceName),
      scanner_(fakes::MakeScanner(Setup(deviceName, firmwareVersion))),
      settingsFile_(uiext2_test::DeviceFolder(deviceName) + "\\VT_TWAIN1.ini")
{
    Microsoft::WRL::ComPtr<IShellExtInit> init;
    if (!comReady_ || !templates_.ok() || !folder_.ok() ||
        FAILED(testhost::CreateExtension(IID_IShellExtInit, reinterpret_cast<void**>(init.GetAddressOf()))))
        return;
    ok_ = SUCCEEDED(init->Initialize(nullptr, fakes::FakeDataObject::ForItem(scanner_.root.Get()).Get(), nullptr)) &&
          SUCCEEDED(init.As(&extension_));
}

PropertiesHost::~PropertiesHost()
{
    extension_.Reset();
    scanner_ = {};
    if (comReady_)
        ::CoUninitialize();
}

PropertiesHost::Offer PropertiesHost::AddPages(const std::vector<bool>& accept)
{
    Offer offer;
    OfferState state{&accept, &offer};
    offer.result = extension_->AddPages(KeepPage, reinterpret_cast<LPARAM>(&state));
    return offer;
}

ULONG RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

void WriteIni(const std::string& file, const char* section, const char* key, const char* value)
{
    ::WritePrivateProfileStringA(section, key, value, file.c_str());
}

} // namespace testwindow
