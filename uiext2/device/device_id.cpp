// The WIA device ID inside an item name of the "WIAItemNames" clipboard format.
#include "device/device_id.h"

namespace uiext2
{

bool DeviceIdFromItemName(const wchar_t* itemName, WideSpan& deviceId) noexcept
{
    if (!itemName)
        return false;

    WideSpan token;
    int tokens = 0;
    for (const wchar_t* at = itemName; *at;)
    {
        if (*at == L':')
        {
            ++at;
            continue;
        }
        const wchar_t* begin = at;
        while (*at && *at != L':')
            ++at;
        if (++tokens > 1)
            return false;
        token.begin = begin;
        token.length = static_cast<std::size_t>(at - begin);
    }
    if (tokens != 1)
        return false;
    deviceId = token;
    return true;
}

} // namespace uiext2
