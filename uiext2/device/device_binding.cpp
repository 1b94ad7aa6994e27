// Device binding.
#include "device/device_binding.h"

namespace uiext2
{

HRESULT BindDevice(IDataObject* dataObject, Microsoft::WRL::ComPtr<IWiaItem2>&) noexcept
{
    if (!dataObject)
        return E_INVALIDARG;
    return E_NOTIMPL;
}

} // namespace uiext2
