// A read-write IStream on a new file that is deleted unless it is kept: the file of one
// page, which must not outlive a failed transfer even while the driver holds the stream.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "com/module.h"
#include "support/unique.h"

#include <wrl/client.h>

namespace uiext2
{

class FileStream final : public ComObject<IStream>
{
public:
    // Creates the file exclusively (the platform's ERROR_FILE_EXISTS when the name is taken)
    // and marks it for deletion when its last handle closes.
    static HRESULT Create(const wchar_t* path, Microsoft::WRL::ComPtr<FileStream>& stream) noexcept;

    // Ends the stream's use of the file: it closes the file, and later calls on the stream
    // fail with STG_E_REVERTED, whoever still holds it. Keep() clears the deletion mark
    // first; an error then means the file goes nevertheless. Discard() lets the file go and
    // makes sure it went: an error means it is still there.
    HRESULT Keep() noexcept;
    HRESULT Discard() noexcept;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override;

    // ISequentialStream
    IFACEMETHODIMP Read(void* data, ULONG size, ULONG* read) noexcept override;
    IFACEMETHODIMP Write(const void* data, ULONG size, ULONG* written) noexcept override;

    // IStream: a direct-mode stream, so Commit and Revert have nothing to do; no region
    // locks and no clones.
    IFACEMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) noexcept override;
    IFACEMETHODIMP SetSize(ULARGE_INTEGER size) noexcept override;
    IFACEMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                          ULARGE_INTEGER* written) noexcept override;
    IFACEMETHODIMP Commit(DWORD flags) noexcept override;
    IFACEMETHODIMP Revert() noexcept override;
    IFACEMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) noexcept override;
    IFACEMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) noexcept override;
    IFACEMETHODIMP Stat(STATSTG* stat, DWORD flags) noexcept override;
    IFACEMETHODIMP Clone(IStream** stream) noexcept override;

    FileStream() noexcept = default; // made by Create

private:
    ~FileStream() override = default; // a file still open (never kept nor discarded) goes with its mark

    UniqueFile file_;
    bool marked_ = false; // deleted when the last handle closes
    wchar_t path_[MAX_PATH] = {};
};

} // namespace uiext2
