// The IWiaTransferCallback that hands one file stream to one item's download.
#pragma once

#include "com/module.h"
#include "platform/wia2.h"

#include <wrl/client.h>

namespace uiext2
{

// Holds the only reference to the stream until the download asks for it; the reference
// then passes to the download, which releases it (closing the file) when done. A second
// request is refused, since there is no second reference to give, and a stream nobody
// asked for is released with the object.
class StreamTransferCallback final : public ComObject<IWiaTransferCallback>
{
public:
    explicit StreamTransferCallback(Microsoft::WRL::ComPtr<IStream> stream) noexcept;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override;

    // No progress is shown and the transfer is never cancelled.
    IFACEMETHODIMP TransferCallback(LONG flags, WiaTransferParams* params) noexcept override;
    IFACEMETHODIMP GetNextStream(LONG flags, BSTR itemName, BSTR fullItemName, IStream** stream) noexcept override;

private:
    ~StreamTransferCallback() override = default; // an unclaimed stream goes with it

    Microsoft::WRL::ComPtr<IStream> stream_;
};

} // namespace uiext2
