// The transfer callback of one item's download.
#include "scan/stream_transfer_callback.h"

#include <shlwapi.h>

#include <utility>

namespace uiext2
{

StreamTransferCallback::StreamTransferCallback(Microsoft::WRL::ComPtr<IStream> stream) noexcept
    : stream_(std::move(stream))
{
}

IFACEMETHODIMP StreamTransferCallback::QueryInterface(REFIID iid, void** object) noexcept
{
    static const QITAB table[] = {
        {&IID_IWiaTransferCallback, 0},
        {nullptr, 0},
    };
    return ::QISearch(this, table, iid, object);
}

IFACEMETHODIMP StreamTransferCallback::TransferCallback(LONG, WiaTransferParams*) noexcept
{
    return S_OK;
}

IFACEMETHODIMP StreamTransferCallback::GetNextStream(LONG, BSTR, BSTR, IStream** stream) noexcept
{
    if (!stream)
        return E_POINTER;
    if (!stream_)
        return E_FAIL; // handed out already: one item, one stream
    *stream = stream_.Detach();
    return S_OK;
}

} // namespace uiext2
