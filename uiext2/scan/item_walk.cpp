// The walk over the driver's finished images.
#include "scan/item_walk.h"

#include "scan/item_transfer.h"

#include <wrl/client.h>

namespace uiext2
{

namespace
{

using Microsoft::WRL::ComPtr;

// One item from the enumerator; false at the end or on a failure.
bool NextItem(IEnumWiaItem2* items, ComPtr<IWiaItem2>& item) noexcept
{
    ULONG fetched = 0;
    const HRESULT hr = items->Next(1, item.ReleaseAndGetAddressOf(), &fetched);
    return SUCCEEDED(hr) && fetched == 1 && item;
}

} // namespace

void TransferWaitingItems(IWiaItem2* root, ScanRecord& record) noexcept
{
    if (!root)
        return;
    ComPtr<IEnumWiaItem2> folders;
    HRESULT hr = root->EnumChildItems(&WIA_CATEGORY_FOLDER, folders.GetAddressOf());
    if (FAILED(hr))
        record.NoteFailure(hr); // the pages the companion reported cannot be reached
    if (FAILED(hr) || !folders)
        return;
    ComPtr<IWiaItem2> folder;
    if (!NextItem(folders.Get(), folder))
        return;
    ComPtr<IEnumWiaItem2> images;
    hr = folder->EnumChildItems(&WIA_CATEGORY_FOLDER, images.GetAddressOf());
    if (FAILED(hr))
        record.NoteFailure(hr);
    if (FAILED(hr) || !images)
        return;

    ULONG count = 0;
    (void)images->GetCount(&count);
    (void)record.Reserve(count);

    // The count is what the driver said a moment ago; pages that arrive meanwhile get
    // room as they come.
    ComPtr<IWiaItem2> image;
    while (NextItem(images.Get(), image))
    {
        hr = record.Reserve(1) ? TransferItem(record, image.Get()) : E_OUTOFMEMORY;
        if (FAILED(hr))
            record.NoteFailure(hr);
    }
}

} // namespace uiext2
