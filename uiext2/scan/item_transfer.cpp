// One item's download into a file.
#include "scan/item_transfer.h"

#include "trace/trace_events.h"
#include "scan/file_stream.h"
#include "scan/stream_transfer_callback.h"
#include "support/hresult.h"

#include <shlwapi.h>
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>
#include <wia.h>

#include <new>
#include <utility>

namespace uiext2
{

namespace
{

using Microsoft::WRL::ComPtr;

// The format the driver will deliver, from the item's WIA_IPA_FORMAT; GUID_NULL when the
// item does not say.
GUID ItemFormat(IWiaItem2* item) noexcept
{
    GUID format = GUID_NULL;
    ComPtr<IWiaPropertyStorage> storage;
    if (FAILED(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(storage.GetAddressOf()))))
        return format;
    PROPSPEC property = {};
    property.ulKind = PRSPEC_PROPID;
    property.propid = wia2::IpaFormat;
    PROPVARIANT value;
    ::PropVariantInit(&value);
    if (storage->ReadMultiple(1, &property, &value) == S_OK && value.vt == VT_CLSID && value.puuid)
        format = *value.puuid;
    ::PropVariantClear(&value);
    return format;
}

// Hands the stream to the download; the callback goes before the file is looked at again.
HRESULT Download(IWiaTransfer* transfer, ComPtr<IStream> stream) noexcept
{
    ComPtr<StreamTransferCallback> callback;
    RETURN_IF_FAILED(MakeObject(callback, std::move(stream)));
    return transfer->Download(wia2::TransferAcquireChildren, callback.Get());
}

// TransferItem's work: `unique` gets the file's path, `bytes` its size (for the trace).
HRESULT SaveItem(ScanRecord& record, IWiaItem2* item, wchar_t (&unique)[kTransferPathCapacity],
                 ULONGLONG& bytes) noexcept
{
    RETURN_HR_IF(E_INVALIDARG, !item);
    // Without a slot the file would be written for nobody.
    RETURN_HR_IF(E_OUTOFMEMORY, !record.HasRoom());

    ComPtr<IWiaTransfer> transfer;
    RETURN_IF_FAILED(item->QueryInterface(IID_IWiaTransfer, reinterpret_cast<void**>(transfer.GetAddressOf())));

    wchar_t built[kTransferPathCapacity];
    RETURN_IF_FAILED(
        ComposeTargetPath(record.Folder(), record.BaseName(), ExtensionForFormat(ItemFormat(item)), built));
    ComPtr<FileStream> file;
    RETURN_IF_FAILED(record.Numbering().CreateNext(built, unique, file));

    // The download gets a reference of its own; ours ends the file's use when the download
    // returns, whether or not the driver has let go of the stream.
    HRESULT hr = Download(transfer.Get(), file);
    if (FAILED(hr))
    {
        // Nobody is told of a failed page's file, so nobody else would remove it. One that
        // stays is the page's failure: the application may find it there.
        const HRESULT removed = file->Discard();
        return FAILED(removed) ? removed : hr;
    }
    bytes = trace::StreamBytes(file.Get());
    // A page that cannot be kept goes: it is not recorded.
    const HRESULT kept = file->Keep();
    if (FAILED(kept))
        return kept;
    // A path that cannot be allocated is recorded as an empty text: the file exists.
    record.Record(::SysAllocString(unique), item);
    return hr;
}

} // namespace

HRESULT BoundedAppend(wchar_t* buffer, const wchar_t* text) noexcept
{
    return ::StringCchCatW(buffer, kTransferPathCapacity, text);
}

HRESULT ComposeTargetPath(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension,
                          wchar_t* path) noexcept
{
    RETURN_IF_FAILED(::StringCchCopyW(path, kTransferPathCapacity, folder));
    const int length = ::lstrlenW(path);
    if (length == 0 || path[length - 1] != L'\\')
        RETURN_IF_FAILED(BoundedAppend(path, L"\\"));
    RETURN_IF_FAILED(BoundedAppend(path, baseName));
    return BoundedAppend(path, extension);
}

const wchar_t* ExtensionForFormat(const GUID& format) noexcept
{
    static const struct
    {
        const GUID* format;
        const wchar_t* extension;
    } table[] = {
        {&WiaImgFmt_BMP, L".BMP"},
        {&WiaImgFmt_PNG, L".PNG"},
        {&WiaImgFmt_JPEG, L".JPG"},
        {&WiaImgFmt_TIFF, L".TIFF"},
    };
    for (const auto& row : table)
        if (IsEqualGUID(format, *row.format))
            return row.extension;
    return L".BMP";
}

HRESULT TransferItem(ScanRecord& record, IWiaItem2* item) noexcept
{
    const ULONGLONG started = trace::PageClock();
    wchar_t unique[kTransferPathCapacity] = {};
    ULONGLONG bytes = 0;
    const HRESULT hr = SaveItem(record, item, unique, bytes);
    trace::Page(started, bytes, hr, unique);
    return hr;
}

} // namespace uiext2
