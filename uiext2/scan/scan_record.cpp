// The run's view of the application's record.
#include "scan/scan_record.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>

namespace uiext2
{

ScanRecord::ScanRecord(DEVICEDIALOGDATA2& data) noexcept : data_(data)
{
    if (data_.pbstrFilePaths && data_.lNumFiles > 0)
        capacity_ = static_cast<ULONG>(data_.lNumFiles);
}

bool ScanRecord::Reserve(ULONG more) noexcept
{
    if (data_.lNumFiles < 0)
        return false;
    const ULONG counted = static_cast<ULONG>(data_.lNumFiles);
    if (more > MAXLONG - counted)
        return false;
    const ULONG needed = counted + more;
    if (data_.pbstrFilePaths && needed <= capacity_)
        return true;

    // Doubling keeps one-at-a-time growth linear; a batch's exact size is taken as it is.
    ULONG capacity = needed > 2 * capacity_ ? needed : 2 * capacity_;
    if (capacity == 0)
        capacity = 1; // an array with room for nothing is still an array, not null
    auto* paths = static_cast<BSTR*>(::CoTaskMemAlloc(static_cast<SIZE_T>(capacity) * sizeof(BSTR)));
    if (!paths)
        return false;
    std::memset(paths, 0, static_cast<size_t>(capacity) * sizeof(BSTR));
    if (data_.pbstrFilePaths)
    {
        std::memcpy(paths, data_.pbstrFilePaths, static_cast<size_t>(capacity_) * sizeof(BSTR));
        ::CoTaskMemFree(data_.pbstrFilePaths);
    }
    data_.pbstrFilePaths = paths;
    capacity_ = capacity;
    return true;
}

bool ScanRecord::HasRoom() const noexcept
{
    return data_.pbstrFilePaths && data_.lNumFiles >= 0 && static_cast<ULONG>(data_.lNumFiles) < capacity_;
}

void ScanRecord::Record(BSTR path, IWiaItem2* item) noexcept
{
    if (!HasRoom()) // callers reserve first; never write past the array
    {
        ::SysFreeString(path);
        return;
    }
    item->AddRef();
    IWiaItem2* replaced = data_.pWiaItem;
    data_.pWiaItem = item;
    if (storedItem_ && replaced)
        replaced->Release();
    storedItem_ = true;

    data_.pbstrFilePaths[data_.lNumFiles] = path;
    ++data_.lNumFiles;
    ++saved_;
}

void ScanRecord::NoteFailure(HRESULT reason) noexcept
{
    if (SUCCEEDED(firstFailure_))
        firstFailure_ = FAILED(reason) ? reason : E_FAIL;
}

HRESULT ScanRecord::Outcome() const noexcept
{
    return saved_ > 0 ? S_OK : firstFailure_;
}

const wchar_t* ScanRecord::Folder() const noexcept
{
    return data_.bstrFolderName ? data_.bstrFolderName : L"";
}

const wchar_t* ScanRecord::BaseName() const noexcept
{
    return data_.bstrFilename ? data_.bstrFilename : L"";
}

} // namespace uiext2
