// Downloading one scanner item into a new file named from the application's folder and
// base name, and recording it.
#pragma once

#include "platform/wia2.h"
#include "scan/scan_record.h"

#include <cstddef>

namespace uiext2
{

// Capacity of every path buffer here, in wide characters, terminator included.
constexpr std::size_t kTransferPathCapacity = MAX_PATH;

// Appends `text` to the terminated text in `buffer` (kTransferPathCapacity characters).
// S_OK when all of it fits; else the buffer is filled to 259 characters, terminated, and
// the result is STRSAFE_E_INSUFFICIENT_BUFFER.
HRESULT BoundedAppend(wchar_t* buffer, const wchar_t* text) noexcept;

// Folder, a backslash unless the folder ends with one, base name and extension. The
// folder copy and each append are bounded as BoundedAppend is; the first that does not
// fit gives STRSAFE_E_INSUFFICIENT_BUFFER.
HRESULT ComposeTargetPath(const wchar_t* folder, const wchar_t* baseName, const wchar_t* extension,
                          wchar_t* path) noexcept;

// The extension for a WiaImgFmt_* identifier: ".BMP", ".PNG", ".JPG", ".TIFF"; ".BMP" for
// any other.
const wchar_t* ExtensionForFormat(const GUID& format) noexcept;

// Downloads `item` through IWiaTransfer into a new file and records its path and the item
// in `record`. The name is the next of the record's numbering: the built path, or
// "<name> (n)<ext>" in the same folder above every number taken there; the file is created
// exclusively, so a file that appears meanwhile is never written over. Nothing is created when the record has
// no room or the path does not fit. The file is marked for deletion until its page is
// complete, so a failed page's file goes, through its own handle, even while the driver
// still holds the stream; one that cannot be removed makes the result E_ACCESSDENIED.
HRESULT TransferItem(ScanRecord& record, IWiaItem2* item) noexcept;

} // namespace uiext2
