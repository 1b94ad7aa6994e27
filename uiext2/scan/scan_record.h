// The application's DEVICEDIALOGDATA2 as a scan run fills it: one path array for the whole
// run that grows as batches arrive, the last transferred item, the numbering of the run's
// file names and what became of the pages.
#pragma once

#include "platform/wia2.h"
#include "scan/file_numbering.h"

namespace uiext2
{

class ScanRecord
{
public:
    // Takes the record as the caller passed it: lNumFiles paths already counted, and
    // pbstrFilePaths (when set) a CoTaskMemAlloc'd array holding them.
    explicit ScanRecord(DEVICEDIALOGDATA2& data) noexcept;

    // Room for `more` paths after the ones counted. The array is reallocated when needed:
    // the counted entries move along (null where the caller gave none) and the array it
    // replaces is freed. False, with the record unchanged, when memory runs out or the
    // caller's count is negative.
    bool Reserve(ULONG more) noexcept;
    bool HasRoom() const noexcept;

    // Stores `path` (which the caller will free) at index lNumFiles and counts it; `item`
    // becomes pWiaItem with a reference of its own. An item this run stored earlier is
    // released when replaced; the one the caller passed in is the caller's.
    void Record(BSTR path, IWiaItem2* item) noexcept;

    // A page that could not be saved, with its reason.
    void NoteFailure(HRESULT reason) noexcept;

    // What the run tells the application of its pages: S_OK when a page was saved or none
    // failed; when pages came and none could be saved, the first page's failure. A run
    // that saved some pages returns S_OK with their paths, the failed ones left out: an
    // application reads the paths only of a call that succeeded, and the saved files would
    // otherwise be lost to it.
    HRESULT Outcome() const noexcept;
    ULONG Saved() const noexcept { return saved_; }

    FileNumbering& Numbering() noexcept { return numbering_; }

    const wchar_t* Folder() const noexcept;   // a null BSTR is the empty text
    const wchar_t* BaseName() const noexcept; // likewise
    const DEVICEDIALOGDATA2& Data() const noexcept { return data_; }

private:
    DEVICEDIALOGDATA2& data_;
    ULONG capacity_ = 0;
    bool storedItem_ = false;
    ULONG saved_ = 0;
    HRESULT firstFailure_ = S_OK;
    FileNumbering numbering_;
};

} // namespace uiext2
