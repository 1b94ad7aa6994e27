// The simulated scanner's image transfer: IWiaTransfer::Download into the caller's stream.
#include "fake_scanner.h"

#include "support/unique.h"

#include <oleauto.h>

#include <algorithm>

namespace fakes
{

namespace
{

HRESULT WriteAll(IStream* stream, const BYTE* data, ULONG size)
{
    while (size > 0)
    {
        ULONG written = 0;
        const HRESULT hr = stream->Write(data, size, &written);
        if (FAILED(hr))
            return hr;
        if (written == 0)
            return STG_E_MEDIUMFULL;
        data += written;
        size -= written;
    }
    return S_OK;
}

void Notify(IWiaTransferCallback* callback, LONG message, LONG percent, ULONG64 bytes)
{
    WiaTransferParams params = {};
    params.lMessage = message;
    params.lPercentComplete = percent;
    params.ulTransferredBytes = bytes;
    params.hrErrorStatus = S_OK;
    (void)callback->TransferCallback(0, &params);
}

} // namespace

// As the WIA service does: one GetNextStream per item, the returned reference is the
// transfer's and is released when the item is written (which closes a file stream);
// progress and end of stream are reported through TransferCallback.
IFACEMETHODIMP FakeItem::Download(LONG flags, IWiaTransferCallback* callback)
{
    calls.push_back("Download " + std::to_string(flags));
    if (!callback)
        return E_INVALIDARG;
    if (downloadFault == DownloadFault::BeforeStream)
        return downloadResult;

    uiext2::UniqueBstr itemName(::SysAllocString(name.c_str()));
    uiext2::UniqueBstr fullName(::SysAllocString(fullItemName.c_str()));
    if (!itemName || !fullName)
        return E_OUTOFMEMORY;

    if (holdCallback)
        heldCallback = callback;
    ComPtr<IStream> stream;
    calls.push_back("GetNextStream");
    HRESULT hr = callback->GetNextStream(0, itemName.get(), fullName.get(), stream.GetAddressOf());
    if (hr != S_OK) // S_FALSE: the application cancelled
        return hr;
    if (!stream)
        return E_POINTER;
    if (holdStream)
        heldStream = stream;
    STATSTG stat = {};
    if (pinFile && SUCCEEDED(stream->Stat(&stat, STATFLAG_DEFAULT)))
    {
        pinnedFile =
            ::CreateFileW(stat.pwcsName, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
        ::CoTaskMemFree(stat.pwcsName);
    }

    const ULONG size = static_cast<ULONG>(image.size());
    const ULONG part = downloadFault == DownloadFault::AfterPartWrite ? size / 2 : size;
    const ULONG chunk = writeChunk ? writeChunk : (part ? part : 1);
    for (ULONG done = 0; done < part;)
    {
        const ULONG piece = std::min(chunk, part - done);
        hr = WriteAll(stream.Get(), image.data() + done, piece);
        if (FAILED(hr))
            return hr;
        done += piece;
    }
    if (downloadFault == DownloadFault::AfterPartWrite)
        return downloadResult;

    Notify(callback, wia2::TransferMsgStatus, 100, size);
    Notify(callback, wia2::TransferMsgEndOfStream, 100, size);
    return S_OK;
}

IFACEMETHODIMP FakeItem::Upload(LONG, IStream*, IWiaTransferCallback*)
{
    calls.push_back("Upload");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::Cancel()
{
    calls.push_back("Cancel");
    return E_NOTIMPL;
}

IFACEMETHODIMP FakeItem::EnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO**)
{
    return E_NOTIMPL;
}

} // namespace fakes
