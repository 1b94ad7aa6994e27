// The application's side of a DeviceDialog call, as a WIA application fills it in; frees
// what the run handed back.
#pragma once

#include "platform/wia2.h"

#include <oleauto.h>

#include <string>

namespace fakes
{

// Frees what a DeviceDialog call handed back and what the application put in: the one
// place where the record's texts, array and item are let go.
inline void FreeDialogData(DEVICEDIALOGDATA2& data)
{
    for (LONG i = 0; data.pbstrFilePaths && i < data.lNumFiles; ++i)
        ::SysFreeString(data.pbstrFilePaths[i]);
    ::CoTaskMemFree(data.pbstrFilePaths);
    if (data.pWiaItem)
        data.pWiaItem->Release();
    ::SysFreeString(data.bstrFolderName);
    ::SysFreeString(data.bstrFilename);
    data = DEVICEDIALOGDATA2{};
}

struct DialogRecord
{
    DEVICEDIALOGDATA2 data = {};

    DialogRecord(IWiaItem2* root, const std::string& folder, const wchar_t* baseName = L"Scan")
    {
        data.cbSize = sizeof(data);
        data.pIWiaItemRoot = root;
        data.bstrFolderName = ::SysAllocString(std::wstring(folder.begin(), folder.end()).c_str());
        data.bstrFilename = ::SysAllocString(baseName);
    }
    ~DialogRecord() { FreeDialogData(data); }
    DialogRecord(const DialogRecord&) = delete;
    DialogRecord& operator=(const DialogRecord&) = delete;

    // The path of page `i`, as ANSI text (the tests' folders are ASCII).
    std::string Path(LONG i) const
    {
        const std::wstring path = data.pbstrFilePaths[i] ? data.pbstrFilePaths[i] : L"";
        return std::string(path.begin(), path.end());
    }
};

} // namespace fakes
