// Numbered file names for a scan run, found without trying the names already taken.
#include "scan/file_numbering.h"

#include "device/own_folder.h"
#include "support/hresult.h"
#include "support/unique.h"

#include <shlwapi.h>
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include <cwchar>
#include <utility>

namespace uiext2
{

namespace
{

// Numbers stay below this, so that " (n)" always fits its text; no folder reaches it.
constexpr ULONGLONG kNumberLimit = 1000000000000000000ull; // 10^18
constexpr int kNumberDigits = 18;

// Text comparison as the file system compares names: ordinal, ignoring case.
bool SameText(const wchar_t* a, int aLength, const wchar_t* b, int bLength) noexcept
{
    return ::CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

// The number `name` has in the scheme of `stem` and `extension`: 1 for "<stem><ext>", n for
// "<stem> (n)<ext>" (n from 2, written without leading zeros); 0 for any other name.
ULONGLONG NumberOf(const wchar_t* name, const wchar_t* stem, int stemLength, const wchar_t* extension) noexcept
{
    const int nameLength = ::lstrlenW(name);
    const int extensionLength = ::lstrlenW(extension);
    if (nameLength < stemLength + extensionLength || !SameText(name, stemLength, stem, stemLength) ||
        !SameText(name + nameLength - extensionLength, extensionLength, extension, extensionLength))
        return 0;
    const wchar_t* middle = name + stemLength;
    const int middleLength = nameLength - stemLength - extensionLength;
    if (middleLength == 0)
        return 1;
    // " (" digits ")"
    const int digits = middleLength - 3;
    if (digits < 1 || digits > kNumberDigits || middle[0] != L' ' || middle[1] != L'(' ||
        middle[middleLength - 1] != L')' || middle[2] == L'0')
        return 0;
    ULONGLONG number = 0;
    for (int i = 2; i < 2 + digits; ++i)
    {
        if (middle[i] < L'0' || middle[i] > L'9')
            return 0;
        number = number * 10 + static_cast<ULONGLONG>(middle[i] - L'0');
    }
    return number >= 2 ? number : 0;
}

// The path of number `n` of `built`'s scheme.
HRESULT NumberedPath(const wchar_t* built, ULONGLONG n, wchar_t* path) noexcept
{
    if (n <= 1)
        return ::StringCchCopyW(path, MAX_PATH, built);
    const wchar_t* extension = ::PathFindExtensionW(built);
    RETURN_IF_FAILED(::StringCchCopyNW(path, MAX_PATH, built, static_cast<size_t>(extension - built)));
    wchar_t number[32];
    RETURN_IF_FAILED(::StringCchPrintfW(number, ARRAYSIZE(number), L" (%llu)", n));
    RETURN_IF_FAILED(::StringCchCatW(path, MAX_PATH, number));
    return ::StringCchCatW(path, MAX_PATH, extension);
}

} // namespace

ULONGLONG HighestTakenNumber(const wchar_t* built) noexcept
{
    const wchar_t* extension = ::PathFindExtensionW(built);
    const wchar_t* stem = ::PathFindFileNameW(built);
    const int stemLength = static_cast<int>(extension - stem);
    if (stemLength <= 0)
        return 0;

    // The folder, as the path has it up to its last separator, listed whole: every name of
    // the scheme is among its entries (a listing asked for "<stem>*" would match short names
    // too, and its names would be checked against the scheme all the same).
    wchar_t folder[MAX_PATH];
    if (FAILED(::StringCchCopyNW(folder, MAX_PATH, built, static_cast<size_t>(stem - built))))
        return 0;
    UniqueFile handle(::CreateFileW(folder[0] ? folder : L".", FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return 0;
    OwnFolder::Listing listing(std::move(handle));
    ListedEntry entry;
    ULONGLONG highest = 0;
    while (listing.Next(entry))
    {
        wchar_t name[MAX_PATH];
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || entry.length >= MAX_PATH)
            continue;
        std::wmemcpy(name, entry.name, entry.length);
        name[entry.length] = L'\0';
        const ULONGLONG number = NumberOf(name, stem, stemLength, extension);
        if (number > highest)
            highest = number;
    }
    return highest;
}

FileNumbering::Series& FileNumbering::SeriesOf(const wchar_t* built) noexcept
{
    for (int i = 0; i < used_; ++i)
        if (SameText(series_[i].built, -1, built, -1))
            return series_[i];
    Series* series = nullptr;
    if (used_ < kSeries)
        series = &series_[used_++];
    else
    {
        series = &series_[replaced_];
        replaced_ = (replaced_ + 1) % kSeries;
    }
    // The caller has composed `built` within MAX_PATH.
    (void)::StringCchCopyW(series->built, MAX_PATH, built);
    series->next = HighestTakenNumber(built) + 1;
    series->fromLowest = false;
    return *series;
}

HRESULT FileNumbering::CreateNext(const wchar_t* built, wchar_t* unique,
                                  Microsoft::WRL::ComPtr<FileStream>& stream) noexcept
{
    Series& series = SeriesOf(built);
    for (;;)
    {
        const HRESULT named = series.next < kNumberLimit ? NumberedPath(built, series.next, unique)
                                                         : HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        if (FAILED(named))
        {
            if (series.fromLowest)
                return named;
            series.fromLowest = true;
            series.next = 1;
            continue;
        }
        // Creation is the existence test; it never opens a file that exists.
        const HRESULT hr = FileStream::Create(unique, stream);
        if (hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) || hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
        {
            ++series.next;
            continue;
        }
        if (SUCCEEDED(hr))
            ++series.next;
        return hr;
    }
}

} // namespace uiext2
