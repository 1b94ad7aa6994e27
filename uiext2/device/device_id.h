// The WIA device ID inside an item name of the "WIAItemNames" clipboard format.
#pragma once

#include <cstddef>

namespace uiext2
{

// A part of a wide text, not terminated.
struct WideSpan
{
    const wchar_t* begin = nullptr;
    std::size_t length = 0;
};

// Splits `itemName` at ':' the way wcstok does (a run of ':' separates two tokens; leading
// and trailing ones are skipped) and stores the token in `deviceId` when there is exactly
// one. False, with `deviceId` unchanged, for none or several.
bool DeviceIdFromItemName(const wchar_t* itemName, WideSpan& deviceId) noexcept;

} // namespace uiext2
