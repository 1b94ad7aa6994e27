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

IFACEMETHODIMP_(ULONG) StreamTransferCallback::AddRef() noexcept
{
    return static_cast<ULONG>(::InterlockedIncrement(&refCount_));
}

IFACEMETHODIMP_(ULONG) StreamTransferCallback::Release() noexcept
{
    const LONG count = ::InterlockedDecrement(&refCount_);
    if (count == 0)
        delete this; // an unclaimed stream goes with it
    return static_cast<ULONG>(count);
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
