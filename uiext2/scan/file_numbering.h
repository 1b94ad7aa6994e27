// The names one scan run gives its files: "<name><ext>", "<name> (2)<ext>", "<name> (3)<ext>",
// ... in the application's folder, each created exclusively.
#pragma once

#include "scan/file_stream.h"

#include <windows.h>

#include <wrl/client.h>

namespace uiext2
{

// The highest number of `built`'s scheme that a file in its folder already has: 1 for the
// built name itself, n for "<name> (n)<ext>"; 0 when there is none (or the folder cannot
// be read). One enumeration of the folder's entries that begin with the name.
ULONGLONG HighestTakenNumber(const wchar_t* built) noexcept;

// Remembers, for each built path of a run, the number its next file gets. The first file
// of a path starts above the highest number taken in the folder, so finding a name costs
// the same for the first page and the two-thousandth, in an empty folder or a full one.
// When no number above the highest makes a name (one planted with a huge number, or a
// folder so long that longer numbers do not fit), the run goes on with the lowest free
// numbers from 1, trying each number once in the run: no name can stop a run that has
// free names.
class FileNumbering
{
public:
    // Creates the file with the next free name of `built`'s scheme and opens a read-write
    // stream on it; `unique` (MAX_PATH characters) receives its path. A name that some
    // other program took meanwhile is skipped: creation fails for any name that exists.
    // STRSAFE_E_INSUFFICIENT_BUFFER when no free name of the scheme fits MAX_PATH.
    HRESULT CreateNext(const wchar_t* built, wchar_t* unique, Microsoft::WRL::ComPtr<FileStream>& stream) noexcept;

private:
    struct Series
    {
        wchar_t built[MAX_PATH];
        ULONGLONG next;
        bool fromLowest; // counting the free numbers from 1
    };

    Series& SeriesOf(const wchar_t* built) noexcept;

    // A run names its files after one folder and base name; only the extension varies with
    // the item's format, so four series are one for each extension there is.
    static constexpr int kSeries = 4;
    Series series_[kSeries] = {};
    int used_ = 0;
    int replaced_ = 0; // the series to give up next when all are used
};

} // namespace uiext2
