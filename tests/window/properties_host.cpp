// The shell's side of the scanner's properties, for window tests and the page pictures.
#include "properties_host.h"

#include "dll_host.h"

namespace testwindow
{

namespace
{

BOOL CALLBACK KeepPage(HPROPSHEETPAGE page, LPARAM lParam)
{
    auto* offer = reinterpret_cast<PropertiesHost::Offer*>(lParam);
    const size_t index = static_cast<size_t>(offer->offered++);
    if (index < offer->accept.size() && !offer->accept[index])
        return FALSE;
    offer->kept.push_back(page);
    return TRUE;
}

} // namespace

PropertiesHost::PropertiesHost(const std::string& deviceName, const std::wstring& firmwareVersion)
    : comReady_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))), folder_(deviceName),
      scanner_(fakes::MakeScanner({std::wstring(deviceName.begin(), deviceName.end()), L"TS-100", firmwareVersion})),
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
    offer.accept = accept;
    offer.result = extension_->AddPages(KeepPage, reinterpret_cast<LPARAM>(&offer));
    return offer;
}

} // namespace testwindow
