// The simulated scanner's tray: a folder whose files are the pages waiting in the driver.
// The companion program, in its own process, scans by writing files there.
#include "fake_scanner.h"

#include <shlwapi.h>

#include <algorithm>

namespace fakes
{

namespace
{

GUID FormatOfFile(const wchar_t* name)
{
    const wchar_t* extension = ::PathFindExtensionW(name);
    static const struct
    {
        const wchar_t* extension;
        const GUID* format;
    } table[] = {{L".png", &WiaImgFmt_PNG}, {L".jpg", &WiaImgFmt_JPEG}, {L".tif", &WiaImgFmt_TIFF}};
    for (const auto& row : table)
        if (::lstrcmpiW(extension, row.extension) == 0)
            return *row.format;
    return WiaImgFmt_BMP;
}

std::vector<BYTE> FileBytes(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size = {};
    DWORD read = 0;
    if (::GetFileSizeEx(file, &size) && size.QuadPart < MAXLONG)
    {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        if (!bytes.empty() && !::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
            bytes.clear();
    }
    ::CloseHandle(file);
    return bytes;
}

} // namespace

void FakeItem::ListTray()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((trayFolder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry.cFileName[0] != L'~')
                names.push_back(entry.cFileName);
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end());

    // A page already listed stays the same item; its file is read once, when first seen.
    std::vector<ComPtr<FakeItem>> listed;
    for (const std::wstring& file : names)
    {
        auto known = std::find_if(children.begin(), children.end(),
                                  [&](const ComPtr<FakeItem>& child) { return child->name == file; });
        if (known != children.end())
        {
            listed.push_back(*known);
            continue;
        }
        ComPtr<FakeItem> page =
            MakeImageItem(fullItemName, file, FormatOfFile(file.c_str()), FileBytes(trayFolder + L"\\" + file));
        if (!page)
            continue;
        if (file.find(L".fail.") != std::wstring::npos)
        {
            page->downloadFault = DownloadFault::AfterPartWrite;
            page->downloadResult = E_FAIL;
        }
        listed.push_back(page);
    }
    children = std::move(listed);
}

} // namespace fakes
