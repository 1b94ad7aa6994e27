// The item names a shell data object carries in the "WIAItemNames" clipboard format.
#include "device/item_names.h"

#include "support/unique.h"

#include <cstring>
#include <new>
#include <utility>

namespace uiext2
{

ItemNameList ReadItemNames(IDataObject* dataObject) noexcept
{
    ItemNameList names;
    const UINT format = ::RegisterClipboardFormatA("WIAItemNames");
    if (format == 0)
        return names;

    FORMATETC request = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(dataObject->GetData(&request, &medium)))
        return names;
    UniqueStgMedium releaseMedium(&medium); // declared before the lock: unlocked first
    if (medium.tymed != TYMED_HGLOBAL)
        return names;
    GlobalLockScope lock(medium.hGlobal);
    const auto* text = static_cast<const wchar_t*>(lock.data());
    if (!text)
        return names;

    // The list comes from another component: walk it within its memory block only, and
    // take it only when its closing empty string lies inside.
    const std::size_t limit = lock.size() / sizeof(wchar_t);
    std::size_t at = 0;
    std::size_t count = 0;
    while (at < limit && text[at] != L'\0')
    {
        while (at < limit && text[at] != L'\0')
            ++at;
        ++at; // past the name's terminator
        ++count;
    }
    if (at >= limit)
        return names;

    const std::size_t length = at + 1; // the closing empty string included
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length]);
    if (!copy)
        return names;
    std::memcpy(copy.get(), text, length * sizeof(wchar_t));
    names.block = std::move(copy);
    names.count = count;
    return names;
}

} // namespace uiext2
