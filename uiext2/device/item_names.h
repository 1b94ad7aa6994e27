// The item names a shell data object carries in the "WIAItemNames" clipboard format.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <memory>

namespace uiext2
{

// A copy of the list: each name ended by a NUL, the whole list ended by an empty string.
struct ItemNameList
{
    std::unique_ptr<wchar_t[]> block;
    std::size_t count = 0; // the non-empty names before the empty one

    const wchar_t* First() const noexcept { return block.get(); }
};

// Reads and copies the list. No list and a count of 0 when the data object has none, when
// its list does not end with an empty string inside its memory, or when the copy fails.
ItemNameList ReadItemNames(IDataObject* dataObject) noexcept;

} // namespace uiext2
